#include "tests/support/otherconnection.h"

#include "db/postgres/pgconninfo.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <atomic>

namespace rux::test {

namespace {

bool isServerUri(const QString &database)
{
    return database.startsWith(QLatin1String("postgresql://")) || database.startsWith(QLatin1String("postgres://"));
}

// Gives Qt's driver the parts of the URI: the user, password and database
// through its setters, the rest (several hosts included) as libpq options.
void configure(QSqlDatabase &db, const QString &uri)
{
    QStringList options;
    for (const auto &[keyword, value] : pg::connectParams(pg::parseUri(uri))) {
        if (keyword == "user") {
            db.setUserName(QString::fromUtf8(value));
        } else if (keyword == "password") {
            db.setPassword(QString::fromUtf8(value));
        } else if (keyword == "dbname") {
            db.setDatabaseName(QString::fromUtf8(value));
        } else {
            QString quoted = QString::fromUtf8(value);
            quoted.replace(u'\\', QLatin1String("\\\\"));
            quoted.replace(u'\'', QLatin1String("\\'"));
            options.append(QString::fromUtf8(keyword) + QStringLiteral("='") + quoted + u'\'');
        }
    }
    db.setConnectOptions(options.join(u';'));
}

} // namespace

OtherConnection::OtherConnection(const QString &database, const QString &connectOptions)
{
    static std::atomic<int> serial{0};
    m_name = QStringLiteral("other_connection_%1").arg(++serial);
    const bool server = isServerUri(database);
    QSqlDatabase db = QSqlDatabase::addDatabase(server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), m_name);
    if (server) {
        configure(db, database);
    } else {
        db.setDatabaseName(database);
        db.setConnectOptions(connectOptions);
    }
    if (!db.open())
        m_error = db.lastError().text();
    else if (server)
        run({QStringLiteral("SET client_min_messages = warning")});
}

OtherConnection::~OtherConnection()
{
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

QString OtherConnection::run(const QStringList &statements)
{
    if (!m_error.isEmpty())
        return m_error;
    for (const QString &s : statements) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        if (!q.exec(s))
            return s + QStringLiteral(": ") + q.lastError().text();
    }
    return QString();
}

QString OtherConnection::values(const QString &sql)
{
    if (!m_error.isEmpty())
        return QStringLiteral("<open failed: %1>").arg(m_error);
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(sql))
        return QStringLiteral("<sql failed: %1>").arg(q.lastError().text());
    QStringList rows;
    while (q.next()) {
        QStringList fields;
        for (int i = 0; i < q.record().count(); ++i)
            fields.append(q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
        rows.append(fields.join(u'|'));
    }
    return rows.join(u',');
}

QVariant OtherConnection::value(const QString &sql)
{
    if (!m_error.isEmpty())
        return QStringLiteral("error: ") + m_error;
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (q.exec(sql) && q.next())
        return q.value(0);
    return QStringLiteral("error: ") + q.lastError().text();
}

QVariant OtherConnection::exactValue(const QString &sql)
{
    if (!m_error.isEmpty())
        return QStringLiteral("error: ") + m_error;
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (q.exec(sql) && q.next())
        return q.value(0);
    return QStringLiteral("error: ") + q.lastError().text();
}

QString sqlValues(const QString &database, const QString &sql, const QString &connectOptions)
{
    return OtherConnection(database, connectOptions).values(sql);
}

QVariant sqlValue(const QString &database, const QString &sql)
{
    return OtherConnection(database).value(sql);
}

void runSql(const QString &database, const QStringList &statements)
{
    const QString failed = OtherConnection(database).run(statements);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

void makeDatabase(const QString &database, const QStringList &statements)
{
    const QString failed = OtherConnection(database).run(statements);
    if (!failed.isEmpty())
        qFatal("fixture %s: %s", qPrintable(database), qPrintable(failed));
}

} // namespace rux::test
