#pragma once

// Test helper: the PostgreSQL server of the test run. scripts/with-postgres.sh
// (and so `make test`) starts one and names it in RUX_PG_URI, and a pooler
// in transaction mode in front of it in RUX_PG_POOLER_URI; it also sets
// RUX_PG_REQUIRED, under which a missing server is a failure, not a skip.
// Every test works in a schema of its own, so runs do not meet each other's
// tables. Statements run on the server through OtherConnection.
//
// A test program runs a second time through the pooler (RUX_PG_THROUGH_POOLER
// set: the _pooled tests): its server rows then work in a database of their
// own, reached through the pooler, while a second client makes transactions
// on it; its file rows are skipped.

#include "tests/support/otherconnection.h"
#include "tests/support/pooltraffic.h"

#include <QCoreApplication>
#include <QString>
#include <QTest>

#include <memory>

namespace rux::test {

inline QString pgServerUri()
{
    return qEnvironmentVariable("RUX_PG_URI");
}

inline bool pgServerRequired()
{
    return !qEnvironmentVariable("RUX_PG_REQUIRED").isEmpty();
}

inline bool throughPooler()
{
    return !qEnvironmentVariable("RUX_PG_THROUGH_POOLER").isEmpty();
}

inline QString pgPoolerUri()
{
    return qEnvironmentVariable("RUX_PG_POOLER_URI");
}

// Why the server (through the pooler, in a pooled run) is not at hand;
// empty when it is.
inline QString pgServerMissing()
{
    if (pgServerUri().isEmpty())
        return QStringLiteral("no PostgreSQL server: run through scripts/with-postgres.sh (make test does)");
    if (throughPooler() && pgPoolerUri().isEmpty())
        return QStringLiteral("no pooler in front of the server: run through scripts/with-postgres.sh");
    return QString();
}

// In initTestCase: skips the test program when no server was started for
// it, fails when one should have been.
#define RUX_NEED_PG_SERVER()                                                                       \
    do {                                                                                           \
        const QString missing_ = rux::test::pgServerMissing();                                     \
        if (!missing_.isEmpty()) {                                                                 \
            if (rux::test::pgServerRequired())                                                     \
                QFAIL(qPrintable("RUX_PG_REQUIRED is set, but " + missing_));                      \
            QSKIP(qPrintable(missing_));                                                           \
        }                                                                                          \
    } while (false)

// `uri` with a search path that starts at `schema`.
inline QString pgUriWithSchema(const QString &uri, const QString &schema)
{
    return uri + (uri.contains(u'?') ? u'&' : u'?') + QStringLiteral("options=-csearch_path%3D") + schema;
}

// A schema made for one test and dropped with everything in it afterwards;
// in a pooled run, a database of its own instead, reached through the pooler,
// with a second client making transactions on it meanwhile.
class PgSchema
{
public:
    explicit PgSchema(const QString &tag)
        : m_admin(pgServerUri())
    {
        static int counter = 0;
        m_name = QStringLiteral("rux_%1_%2_%3")
                     .arg(tag.toLower())
                     .arg(QCoreApplication::applicationPid())
                     .arg(++counter);
        if (throughPooler()) {
            m_database = m_name;
            m_name = QStringLiteral("public");
            // Behind a pooler the wait for another session's lock is the
            // database's setting, as the README asks of such a site.
            m_error = m_admin.run({QStringLiteral("CREATE DATABASE ") + m_database,
                                   QStringLiteral("ALTER DATABASE %1 SET lock_timeout = '5s'").arg(m_database)});
            const QString pooler = pgPoolerUri();
            m_uri = pooler.left(pooler.lastIndexOf(u'/') + 1) + m_database;
            if (m_error.isEmpty())
                m_traffic = std::make_unique<PoolTraffic>(m_uri);
        } else {
            m_error = m_admin.run({QStringLiteral("CREATE SCHEMA ") + m_name});
            m_uri = pgUriWithSchema(pgServerUri(), m_name);
        }
    }
    ~PgSchema()
    {
        if (m_database.isEmpty()) {
            m_admin.run({QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_name)});
            return;
        }
        m_traffic.reset();
        // The pooler's server sessions on it are ended with it.
        m_admin.run({QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database)});
    }
    PgSchema(const PgSchema &) = delete;
    PgSchema &operator=(const PgSchema &) = delete;

    // The schema the tables go to ("public" in a database of its own).
    QString name() const { return m_name; }
    // The server's URI, with this schema first on the search path; the
    // pooler's, with its database, in a pooled run.
    QString uri() const { return m_uri; }
    QString error() const { return m_error; }

private:
    OtherConnection m_admin;
    QString m_name;
    QString m_database; // a pooled run's database
    QString m_uri;
    QString m_error;
    std::unique_ptr<PoolTraffic> m_traffic;
};

} // namespace rux::test
