#pragma once

#include <QByteArray>
#include <QString>

namespace rux {

// The first bytes of a database file, enough to tell its kind. Throws
// Failure with the texts of opening a database: a missing file (or an empty
// name), a folder, a file that cannot be read.
QByteArray readDatabaseHead(const QString &fileName);

// "SQLite format 3" and its NUL at the start.
bool isSqliteHead(const QByteArray &head);

// Bytes 4 to 18 read "Standard Jet DB" (Jet 3 and 4, .mdb) or "Standard
// ACE DB" (.accdb).
bool isAccessHead(const QByteArray &head);

} // namespace rux
