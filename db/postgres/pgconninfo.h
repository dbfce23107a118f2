#pragma once

#include <QList>
#include <QPair>
#include <QString>

class QSqlDatabase;

namespace rux::pg {

// A PostgreSQL database named by a Data Source in libpq's URI form:
//   postgresql://[user[:password]@][host][:port][,host[:port]...][/dbname][?key=value&...]
// ("postgres://" is the same). Every part is percent-decoded. What the URI
// leaves out, libpq takes from its own defaults (PGHOST, PGUSER, PGPASSWORD,
// ~/.pgpass, the local socket).

// True when the text starts with "postgresql://" or "postgres://" (letter
// case ignored).
bool isPostgresUri(const QString &dataSource);

struct ConnInfo
{
    QString user;
    QString password;
    QStringList hosts; // as written, brackets of IPv6 addresses removed
    QStringList ports; // one per host, empty where none was given
    QString dbname;
    // Further libpq keywords from the query part, in their order.
    QList<QPair<QString, QString>> options;
};

// Splits the URI into its parts. Fails with a rux::Failure whose text shows
// the URI with its password masked.
ConnInfo parseUri(const QString &uri);

// The Data Source as it may be shown: the password of a PostgreSQL URI
// (after "user:" or as "password=" in its query part) replaced by "***".
// Anything else is returned as it is.
QString maskPassword(const QString &dataSource);

// `text` with every occurrence of the URI's password, as written in the URI
// and percent-decoded, replaced by "***": for texts of other programs
// (libpq's connection errors) that might quote it.
QString maskSecrets(QString text, const QString &uri);

// A connection string whose Data Source is a PostgreSQL URI with a ";" in
// it falls apart into pieces, and the piece the parser complains about may
// be part of the password: fails with a text that shows none of it. Does
// nothing for any other connection string.
void refuseBrokenUri(const QString &connectionString);

// Gives `db` (a QPSQL connection, not yet open) the host, port, user,
// password, database and options of `info`. Fails when an option value
// cannot be passed on.
void configure(QSqlDatabase &db, const ConnInfo &info);

} // namespace rux::pg
