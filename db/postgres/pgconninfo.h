#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace rux::pg {

// A PostgreSQL database named by a Data Source in libpq's URI form:
//   postgresql://[user[:password]@][host][:port][,host[:port]...][/dbname][?key=value&...]
// ("postgres://" is the same). libpq reads it; what the URI leaves out,
// libpq takes from its own defaults (PGHOST, PGUSER, PGPASSWORD,
// ~/.pgpass, the local socket) when the connection is made.

// True when the text starts with "postgresql://" or "postgres://" (letter
// case ignored).
bool isPostgresUri(const QString &dataSource);

// The libpq keywords a URI sets, percent-decoded, as libpq gives them:
// in libpq's order of keywords, several hosts or ports as one value
// separated by ",".
struct ConnInfo
{
    QList<QPair<QString, QString>> options;

    // The value of a keyword; an empty text when the URI does not set it.
    QString value(QStringView keyword) const;
};

// libpq's reading of the URI. Fails with a rux::Failure, showing the URI
// with its password masked, where libpq refuses it or a port is no number
// from 0 to 65535.
ConnInfo parseUri(const QString &uri);

// The Data Source as it may be shown: the password of a PostgreSQL URI
// (after "user:" or as "password=" in its query part) replaced by "***".
// Anything else is returned as it is. A URI libpq refuses is masked as
// well, more widely: whatever could be meant as its password.
QString maskPassword(const QString &dataSource);

// `text` with every occurrence of the URI's password, as written in the URI
// and percent-decoded, replaced by "***": for texts of other programs
// (libpq's messages) that might quote it.
QString maskSecrets(QString text, const QString &uri);

// A connection string whose Data Source is a PostgreSQL URI with a ";" in
// it falls apart into pieces, and the piece the parser complains about may
// be part of the password: fails with a text that shows none of it. Does
// nothing for any other connection string.
void refuseBrokenUri(const QString &connectionString);

// The keywords and values libpq connects with (PQconnectdbParams, nothing
// read as a URI again): those of `info` in its order, and for what `info`
// leaves out a connect timeout of 10 s and TCP keepalive probes (idle 60 s,
// then 6 probes 10 s apart). The client encoding is UTF-8, whatever `info`
// says. `settings` ("-c name=value ..."): server settings for the whole
// session, sent when it starts, after the URI's own "options".
using ConnectParams = QList<QPair<QByteArray, QByteArray>>;
ConnectParams connectParams(const ConnInfo &info, const QString &settings = QString());

} // namespace rux::pg
