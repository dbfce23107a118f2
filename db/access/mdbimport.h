#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct sqlite3;

namespace rux {

// Access database files (Jet 3/4 .mdb, ACE .accdb) and their copy into
// SQLite.

// True when bytes 4 to 18 of the file read "Standard Jet DB" or
// "Standard ACE DB", whatever the file's name. False for a file that is
// missing, unreadable or shorter, and for anything but a regular file
// (links followed), which is not opened.
bool isAccessFile(const QString &fileName);

// What the import has done: the tables copied, in the file's catalog
// order, with their row counts.
struct ImportedTable
{
    QString name;
    qint64 rows = 0;
};
struct AccessImport
{
    QList<ImportedTable> tableRows;
    // What the copy leaves out or holds in another form (a linked table,
    // the files of an attachment column, ...), one sentence each.
    QStringList notes;

    int tables() const { return int(tableRows.size()); }
    qint64 rows() const
    {
        qint64 sum = 0;
        for (const ImportedTable &table : tableRows)
            sum += table.rows;
        return sum;
    }
};

// Up to this file size the copy of an Access file is held in memory; a
// larger file is copied into a temporary database on disk, which SQLite
// deletes when the connection closes. The copy takes about as many bytes
// as the file holds data (Northwind, 3 MB on disk, takes under 2 MB), so a
// copy in memory below this size costs the process at most a few hundred
// megabytes; above it a desktop machine would be pressed for memory, while
// the temporary file costs a slower import and queries that read from disk.
constexpr qint64 kAccessInMemoryLimit = qint64(256) * 1024 * 1024;

// Reads every user table of the Access file `fileName` (system tables,
// linked tables and saved queries are left out) into the SQLite database
// `target`, one table of the same name per table, with the same column
// names in the same order and the table's primary key. The Access file is
// opened for reading only and closed before this returns. Column types:
// text and memo -> TEXT (UTF-8); byte, integer, long integer -> INTEGER;
// single, double, currency -> REAL (a currency value is the nearest double
// to its four-decimal amount, which reads back unchanged to 15 significant
// digits, as the engine's own currency fields give it to a client);
// yes/no -> BOOLEAN holding 0 or 1; date/time -> TEXT "YYYY-MM-DD
// HH:MM:SS" (a value outside the engine's years 100 to 9999 keeps its day
// count as a REAL); extended date/time -> TEXT "YYYY-MM-DD HH:MM:SS" with
// as many fraction digits as the column keeps; OLE object and binary ->
// BLOB; replication ID -> TEXT "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
// decimal -> exact TEXT in a column declared DECIMAL_TEXT(precision,scale);
// a calculated column -> its result's type, as a column of that type;
// attachment, multi-value and version history (complex) columns ->
// INTEGER, the key the engine keeps their values under (a note says so).
// A null field stays NULL and a zero-length text stays ''. A table whose rows
// break its declared key (a damaged index) is copied without the key.
// Runs in one transaction of `target`. Throws Failure naming the file;
// a failure of `target` itself (a full disk, say) names `targetName`
// instead, when one is given.
AccessImport importAccessFile(const QString &fileName, sqlite3 *target,
                              const QString &targetName = QString());

} // namespace rux
