#include "db/access/accessengine.h"

#include "db/access/accessconvert.h"
#include "db/access/mdbimport.h"
#include "script/failure.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace rux {

namespace {

#ifndef Q_OS_WIN
// Small files are copied into memory; a large one into a temporary
// database on disk (the empty name), which SQLite removes on close.
QString copyName(const QString &fileName)
{
    return QFileInfo(fileName).size() <= kAccessInMemoryLimit ? QStringLiteral(":memory:") : QString();
}
#endif

} // namespace

#ifndef Q_OS_WIN
AccessEngine::AccessEngine(const QString &fileName, const QString &qtName)
    : SqliteEngine(OwnDatabase(), copyName(fileName), fileName, qtName), m_fileName(fileName)
{
    sqlite3 *db = handle();
    // No other database file can be attached: the copy is all a script on
    // this connection reaches, and nothing creates a file.
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_exec(db, "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    if (!copyName(fileName).isNull())
        sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
    try {
        importAccessFile(fileName, db);
    } catch (...) {
        discard();
        throw;
    }
    // Statements that change data are refused with a clear text before
    // they run; this holds should one get past.
    sqlite3_exec(db, "PRAGMA query_only=ON", nullptr, nullptr, nullptr);
}
#endif

QString AccessEngine::readOnlyText() const
{
    // The way out: the same data in an SQLite file, which takes changes.
    // The command ends in a quote, so the failure display adds no full stop
    // to it and it can be copied as it stands.
    return QStringLiteral("Cannot update. The Access file '%1' is opened read-only on this platform. "
                          "To change its data, convert it to an SQLite file once and open that: %2")
        .arg(m_fileName, convertCommand(m_fileName));
}

} // namespace rux
