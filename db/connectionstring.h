#pragma once

#include <QList>
#include <QString>

namespace rux {

// The connection string of the main window's connection and the reading of
// such strings. The parser fails with a rux::Failure naming the segment it
// cannot read: a database path holding ";" splits the string, and opening
// the file named by the part before the ";" would be worse than failing.

// The fixed connection string around a database file name: the Jet 4.0
// provider settings as 18 key=value pairs, the file name inserted as it is
// (not quoted, not escaped, not trimmed) and followed by one blank.
QString buildConnectionString(const QString &dbFileName);

// The string the connection holds before any database was chosen: the
// database rux_ppp.mdb in the user's Documents folder.
QString defaultConnectionString();

// A key a connection string may hold: one of the pairs of
// buildConnectionString() or defaultConnectionString() (compared over A-Z
// without case, blanks around it ignored). A database path with ";" in it
// splits the string into pieces that look like pairs ("/d/a;b=c.db" gives a
// key "b"): the connection refuses any other key rather than open the file
// named by the part before the ";".
bool isConnectionKey(const QString &key);

struct ConnectionPair
{
    QString key;
    QString value;
};

// The pairs of "key=value;key=value" in their order. Keys lose the blanks
// around them; unquoted values are kept as they stand; a value in double or
// single quotes runs to the matching quote, a doubled quote standing for one.
QList<ConnectionPair> parseConnectionString(const QString &connectionString);

// The value of a key (keys compared over A-Z without case, blanks around
// them ignored); a null QString when the key is absent; the last pair wins
// when a key repeats.
QString connectionValue(const QString &connectionString, const QString &key);

// The database file a connection string names. For a string made by
// buildConnectionString() it is the name given there, exactly (the one blank
// the builder adds is not part of it); such a string whose pairs do not read
// back that name (the name holds a ";" or starts with a quote) fails with a
// rux::Failure rather than naming another file. For any other string it is
// the "Data Source" value without its trailing blanks; a null QString when
// the key is absent.
QString dataSourceOf(const QString &connectionString);

} // namespace rux
