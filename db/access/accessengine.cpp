#include "db/access/accessengine.h"

#include "db/access/accessconvert.h"
#include "db/access/accessreader.h"
#include "base/failure.h"
#include "base/systemio.h"
#include "base/uniquefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>

#include <unistd.h>

namespace rux {

namespace {

// Reads the whole file `path` into memory that SQLite owns; null when it
// cannot.
unsigned char *fileIntoSqliteMemory(const QByteArray &path, sqlite3_int64 *size)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    *size = file.size();
    auto *bytes = static_cast<unsigned char *>(sqlite3_malloc64(sqlite3_uint64(qMax<qint64>(*size, 1))));
    if (!bytes)
        return nullptr;
    if (file.read(reinterpret_cast<char *>(bytes), *size) != *size) {
        sqlite3_free(bytes);
        return nullptr;
    }
    return bytes;
}

} // namespace

AccessCopy::AccessCopy(const QString &fileName)
{
    // Up to kAccessInMemoryLimit the copy is held in memory; a larger one
    // stays in its file, which is removed from the folder once it is open.
    m_inMemory = QFileInfo(fileName).size() <= kAccessInMemoryLimit;
    m_copyPath = createUniqueFile(QDir::tempPath() + QStringLiteral("/rux_ppp-access-"), 0600);
    if (m_copyPath.isEmpty()) {
        throw Failure(QStringLiteral("Could not create the copy of the Access file '%1' in '%2': %3")
                          .arg(fileName, QDir::tempPath(), systemErrorText(errno)));
    }
    try {
        m_removedOnSignal = std::make_unique<RemovedOnSignal>(m_copyPath);
        m_reader = std::make_unique<AccessReader>(fileName, m_copyPath, QFile::decodeName(m_copyPath),
                                                  m_inMemory ? CopyBuilt::InMemory : CopyBuilt::InFile);
        // A copy in its file is opened by name: it must be whole first.
        if (!m_inMemory)
            finishRead();
    } catch (...) {
        removeFile();
        throw;
    }
}

void AccessCopy::finishRead()
{
    if (m_reader) {
        const std::unique_ptr<AccessReader> reader = std::move(m_reader);
        m_import = reader->finish();
    }
}

AccessCopy::~AccessCopy()
{
    removeFile();
}

void AccessCopy::removeFile()
{
    // A reader still running goes first: it writes the file.
    m_reader.reset();
    if (!m_copyPath.isEmpty())
        ::unlink(m_copyPath.constData());
    m_copyPath.clear();
    m_removedOnSignal.reset();
}

AccessEngine::AccessEngine(const QString &fileName)
    : AccessCopy(fileName),
      SqliteEngine(OwnDatabase(), m_inMemory ? QStringLiteral(":memory:") : QFile::decodeName(m_copyPath),
                   fileName),
      m_fileName(fileName)
{
    sqlite3 *db = handle();
    if (m_inMemory) {
        try {
            finishRead();
        } catch (...) {
            discard();
            throw;
        }
        sqlite3_int64 size = 0;
        unsigned char *bytes = fileIntoSqliteMemory(m_copyPath, &size);
        const int rc = bytes ? sqlite3_deserialize(db, "main", bytes, size, size,
                                                   SQLITE_DESERIALIZE_FREEONCLOSE
                                                       | SQLITE_DESERIALIZE_RESIZEABLE)
                             : SQLITE_NOMEM;
        if (rc != SQLITE_OK) {
            discard();
            throw Failure(QStringLiteral("Could not read the copy of the Access file '%1': %2")
                              .arg(fileName, QString::fromUtf8(sqlite3_errstr(rc))));
        }
    }
    // The open connection keeps the file's data; its name goes now, so
    // nothing stays behind in the temporary folder.
    removeFile();
    // No other database file can be attached: the copy is all a script on
    // this connection reaches, and nothing creates a file.
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_exec(db, "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    if (!m_inMemory)
        sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
    // Statements that change data are refused with a clear text before
    // they run; this holds should one get past.
    sqlite3_exec(db, "PRAGMA query_only=ON", nullptr, nullptr, nullptr);
}

QString AccessEngine::readOnlyText() const
{
    // The way out: the same data in an SQLite file, which takes changes.
    // The command ends in a quote, so the failure display adds no full stop
    // to it and it can be copied as it stands.
    return QStringLiteral("Cannot update. The Access file '%1' is opened read-only on this platform. "
                          "To change its data, convert it to an SQLite file once and open that: %2")
        .arg(m_fileName, convertCommand(m_fileName));
}

QStringList AccessEngine::openNotes() const
{
    return m_import.notes;
}

} // namespace rux
