#pragma once

#include <QByteArray>
#include <QString>

namespace rux {

// How many of a database file's first bytes tell its kind.
constexpr qsizetype kDatabaseHeadSize = 19;

// The first bytes of a database file, enough to tell its kind. Throws
// Failure with the texts of opening a database: a missing file (or an empty
// name), a folder, a file that cannot be read.
QByteArray readDatabaseHead(const QString &fileName);

// The refusal of a file that is no database the program knows.
QString unrecognizedFormatText(const QString &fileName);

// The failure to write the database file `fileName`, for the reason `why`.
QString cannotWriteText(const QString &fileName, const QString &why);

// "SQLite format 3" and its NUL at the start.
bool isSqliteHead(const QByteArray &head);

// Bytes 4 to 18 read "Standard Jet DB" (Jet 3 and 4, .mdb) or "Standard
// ACE DB" (.accdb).
bool isAccessHead(const QByteArray &head);

} // namespace rux
