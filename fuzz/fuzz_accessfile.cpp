// The Access reader on damaged files: the bytes of an Access file, mutated
// from the shared fixtures, read by the reader process as opening the file
// reads it.
//
// Input: the bytes of the file. Rules checked:
// - the read ends, within its bounds, by a result or by one Failure: "Could
//   not read the Access file '<file>': ..." in one line (libmdb crashing,
//   looping or taking memory without end in the reader is such a failure);
// - no reader process is left once the read has ended;
// - a result is a copy that opens as an SQLite database and holds every
//   table listed, with the rows listed.

#include "fuzz/fuzzinput.h"

#include "db/access/accessreader.h"
#include "db/tablename.h"
#include "base/failure.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <cstdlib>

#include <unistd.h>

using fuzz::check;

namespace {

// A folder of the run's own for the file and its copy.
const QString &folder()
{
    static const QString path = []() {
        QByteArray name = QFile::encodeName(QDir::tempPath()) + "/fuzz_accessfile-XXXXXX";
        if (!::mkdtemp(name.data()))
            std::abort();
        return QFile::decodeName(name);
    }();
    return path;
}

// The reader processes this program has started that are still there (the
// symbolizer that the sanitizers start may stay, and is no reader).
int readersLeft()
{
    int left = 0;
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (pid.toInt() <= 0 || !status.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = status.readAll();
        if (text.startsWith("Name:\trux_ppp-access-") && text.contains("\nPPid:\t" + self + '\n'))
            ++left;
    }
    return left;
}

qint64 rowsOf(sqlite3 *db, const QString &table)
{
    const QByteArray sql = "SELECT count(*) FROM " + rux::quoteIdentifier(table).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    qint64 rows = -1;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        rows = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString source = folder() + QStringLiteral("/input.mdb");
    const QString copy = folder() + QStringLiteral("/copy.db");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            std::abort();
        QFile out(copy);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
    }
    const QString prefix = QStringLiteral("Could not read the Access file '%1': ").arg(source);
    try {
        const rux::AccessImport result = rux::readAccessFileApart(source, QFile::encodeName(copy), copy);
        sqlite3 *db = nullptr;
        check(sqlite3_open_v2(QFile::encodeName(copy).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK,
              "a result's copy opens");
        for (const rux::ImportedTable &table : result.tableRows) {
            check(rowsOf(db, table.name) == table.rows, "a table listed holds the rows listed",
                  [&]() { return table.name; });
        }
        sqlite3_close(db);
    } catch (const rux::Failure &failure) {
        check(failure.text().startsWith(prefix) && !failure.text().contains(u'\n'),
              "a failure is one line that names the source", [&]() { return fuzz::show(failure.text()); });
    }
    check(readersLeft() == 0, "no reader is left");
    QFile::remove(source);
    QFile::remove(copy);
    return 0;
}
