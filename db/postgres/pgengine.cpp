#include "db/postgres/pgengine.h"

#include "db/keepalive.h"
#include "db/postgres/pgcatalog.h"
#include "db/postgres/pgconninfo.h"
#include "db/postgres/pgresult.h"
#include "db/postgres/pgscan.h"
#include "db/postgres/pgsession.h"
#include "db/postgres/pgvalue.h"
#include "base/failure.h"

#include <utility>
#include <vector>

namespace rux {

using pg::libpq;

namespace {

// A connection made with `params`; null when libpq cannot even start one.
PGconn *connectWith(const pg::ConnectParams &params)
{
    std::vector<const char *> keywords;
    std::vector<const char *> values;
    for (const auto &[keyword, value] : params) {
        keywords.push_back(keyword.constData());
        values.push_back(value.constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    return libpq().PQconnectdbParams(keywords.data(), values.data(), 0);
}

bool connected(PGconn *conn)
{
    return conn && libpq().PQstatus(conn) == CONNECTION_OK;
}

// The value of a setting as the session starts with it; empty when it
// cannot be read (a server without it).
QString settingOf(PGconn *conn, const char *show)
{
    const pg::Libpq &pq = libpq();
    const pg::ResultPtr result(pq.PQexec(conn, show));
    if (!result || pq.PQresultStatus(result.get()) != PGRES_TUPLES_OK || pq.PQntuples(result.get()) == 0)
        return QString();
    return QString::fromUtf8(pq.PQgetvalue(result.get(), 0, 0));
}

// What the session must be given besides the URI's own settings, as
// options sent when it starts: a lock another session holds is waited for
// as long as an SQLite file's busy timeout, so that a scheduled run ends,
// unless the server or the URI set a wait of their own; dates and times
// come in the ISO style that values are read in. Nothing is ever set by a
// statement: behind a pooler that hands each transaction to whichever
// server session is free, a SET would stay with that session, for the
// other clients, and not with this one.
QString settingsNeeded(PGconn *conn, const pg::ConnInfo &info)
{
    QStringList settings;
    if (!info.value(u"options").contains(QLatin1String("lock_timeout"), Qt::CaseInsensitive)
        && settingOf(conn, "SHOW lock_timeout") == QLatin1String("0")) {
        settings.append(QStringLiteral("-c lock_timeout=%1").arg(kBusyTimeoutMs));
    }
    const char *style = libpq().PQparameterStatus(conn, "DateStyle");
    if (style && !QByteArray(style).startsWith("ISO"))
        settings.append(QStringLiteral("-c DateStyle=ISO"));
    return settings.join(u' ');
}

} // namespace

PostgresEngine::PostgresEngine(const QString &uri)
{
    const pg::ConnInfo info = pg::parseUri(uri);
    const QString shown = pg::maskPassword(uri);
    PGconn *conn = nullptr;
    QString failure;
    try {
        const pg::Libpq &pq = libpq();
        conn = connectWith(pg::connectParams(info));
        if (!connected(conn)) {
            failure = conn ? pg::maskSecrets(pg::oneLine(QString::fromLocal8Bit(pq.PQerrorMessage(conn))), uri)
                           : QStringLiteral("libpq could not start a connection.");
        } else if (const QString settings = settingsNeeded(conn, info); !settings.isEmpty()) {
            // The session starts again with them. A pooler that takes no
            // options at the start of a session (pgbouncer) refuses that
            // one: the first stays, with the server's own settings.
            PGconn *again = connectWith(pg::connectParams(info, settings));
            if (connected(again))
                std::swap(conn, again);
            if (again)
                pq.PQfinish(again);
        }
        if (failure.isEmpty()) {
            // libpq would print the server's notices on standard error.
            pq.PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
            m_session = std::make_shared<pg::Session>(conn);
            m_conn = std::exchange(conn, nullptr);
        }
    } catch (const Failure &f) {
        failure = f.text();
    }
    if (conn)
        libpq().PQfinish(conn);
    if (!failure.isEmpty())
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(shown, failure));
}

PostgresEngine::~PostgresEngine()
{
    if (m_session && m_session->open()) {
        try {
            if (pg::Stream *stream = m_session->streaming()) {
                m_session->setStreaming(nullptr);
                stream->giveUp();
            }
        } catch (const Failure &) {
            // The connection broke; it is closed below all the same.
        }
        m_session->close();
    }
    if (m_conn)
        libpq().PQfinish(m_conn);
}

std::unique_ptr<EngineResult> PostgresEngine::run(const QString &commandText, bool wantRows,
                                                  qint64 *rowsAffected)
{
    if (commandText.contains(QChar(u'\0')))
        throw Failure(kNulCharacterText);
    if (pg::holdsToolMark(commandText))
        throw Failure(kNoValueText);
    qint64 changed = -1;
    std::unique_ptr<EngineResult> result;
    if (wantRows)
        result = PostgresResult::open(m_session, commandText, keepalive::installed(), &changed);
    else
        changed = pg::rowsChanged(m_session->exec(commandText).get());
    if (rowsAffected)
        *rowsAffected = changed;
    return result;
}

QVector<QVector<QVariant>> PostgresEngine::read(const QString &sql, const QVector<QVariant> &binds,
                                                ResultColumns *columns)
{
    const pg::ResultPtr result = m_session->exec(sql, binds);
    const pg::Libpq &pq = libpq();
    const int fields = pq.PQnfields(result.get());
    QVector<unsigned> types(fields);
    for (int c = 0; c < fields; ++c)
        types[c] = pq.PQftype(result.get(), c);
    if (columns)
        *columns = pg::columnsOf(result.get());
    const int count = pq.PQntuples(result.get());
    QVector<QVector<QVariant>> rows(count);
    for (int r = 0; r < count; ++r) {
        QVector<QVariant> &row = rows[r];
        row.reserve(fields);
        for (int c = 0; c < fields; ++c)
            row.append(pg::valueOf(types[c], pq.PQgetvalue(result.get(), r, c), pq.PQgetisnull(result.get(), r, c)));
    }
    return rows;
}

qint64 PostgresEngine::write(const QString &sql, const QVector<QVariant> &binds)
{
    return pg::rowsChanged(m_session->exec(sql, binds).get());
}

// The row as the server stored it is found by its key, which the insert
// hands back: defaults and serial values filled in.
InsertedRow PostgresEngine::insert(const QString &insertSql, const QVector<QVariant> &binds,
                                   const QStringList &keySql)
{
    InsertedRow inserted;
    if (keySql.isEmpty()) {
        m_session->exec(insertSql, binds);
        return inserted;
    }
    const QVector<QVector<QVariant>> rows =
        read(insertSql + QStringLiteral(" RETURNING ") + keySql.join(u','), binds);
    if (!rows.isEmpty())
        inserted.key = rows.front();
    return inserted;
}

TableInfo PostgresEngine::tableInfo(const QString &schema, const QString &table)
{
    return pg::tableNamed(*m_session, schema, table);
}

QString PostgresEngine::writeMark(int n) const
{
    return QStringLiteral("$%1").arg(n);
}

void PostgresEngine::runControl(const QString &statement)
{
    m_session->exec(statement);
}

void PostgresEngine::interrupt()
{
    m_session->cancelCommand();
}

bool PostgresEngine::inTransaction() const
{
    return m_session->inTransaction();
}

} // namespace rux
