#pragma once

// Test helper: the PostgreSQL server of the test run. scripts/with-postgres.sh
// (and so `make test`) starts one and names it in RUX_PG_URI; it also sets
// RUX_PG_REQUIRED, under which a missing server is a failure, not a skip.
// Every test works in a schema of its own, so runs do not meet each other's
// tables. Statements run on the server through OtherConnection.

#include "tests/support/otherconnection.h"

#include <QCoreApplication>
#include <QString>
#include <QTest>

namespace rux::test {

inline QString pgServerUri()
{
    return qEnvironmentVariable("RUX_PG_URI");
}

inline bool pgServerRequired()
{
    return !qEnvironmentVariable("RUX_PG_REQUIRED").isEmpty();
}

// In initTestCase: skips the test program when no server was started for
// it, fails when one should have been.
#define RUX_NEED_PG_SERVER()                                                                       \
    do {                                                                                           \
        if (rux::test::pgServerUri().isEmpty()) {                                                  \
            if (rux::test::pgServerRequired())                                                     \
                QFAIL("RUX_PG_REQUIRED is set but RUX_PG_URI is not");                             \
            QSKIP("no PostgreSQL server: run through scripts/with-postgres.sh (make test does)");  \
        }                                                                                          \
    } while (false)

// `uri` with a search path that starts at `schema`.
inline QString pgUriWithSchema(const QString &uri, const QString &schema)
{
    return uri + (uri.contains(u'?') ? u'&' : u'?') + QStringLiteral("options=-csearch_path%3D") + schema;
}

// A schema made for one test and dropped with everything in it afterwards.
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
        m_error = m_admin.run({QStringLiteral("CREATE SCHEMA ") + m_name});
        m_uri = pgUriWithSchema(pgServerUri(), m_name);
    }
    ~PgSchema() { m_admin.run({QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_name)}); }
    PgSchema(const PgSchema &) = delete;
    PgSchema &operator=(const PgSchema &) = delete;

    QString name() const { return m_name; }
    // The server's URI, with this schema first on the search path.
    QString uri() const { return m_uri; }
    QString error() const { return m_error; }

private:
    OtherConnection m_admin;
    QString m_name;
    QString m_uri;
    QString m_error;
};

} // namespace rux::test
