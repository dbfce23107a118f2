#include "db/postgres/pgengine.h"

#include "db/keepalive.h"
#include "db/postgres/pgcatalog.h"
#include "db/postgres/pgconninfo.h"
#include "db/postgres/pgresult.h"
#include "db/postgres/pgscan.h"
#include "db/postgres/pgsession.h"
#include "db/postgres/pgvalue.h"
#include "script/failure.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

namespace rux {

using pg::libpq;

namespace {

PGconn *handleOf(const QSqlDatabase &db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // The driver names the type by its typedef or by the struct behind it,
    // depending on the Qt version.
    if (!h.isValid()
        || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(h.constData());
}

// The first value a statement of the program's own reads; empty when it
// fails, which must not fail the opening (a server without lock_timeout).
QString firstValue(pg::Session &session, const QString &command)
{
    const pg::ResultPtr result = session.answer(command);
    const pg::Libpq &pq = libpq();
    if (!result || pq.PQresultStatus(result.get()) != PGRES_TUPLES_OK || pq.PQntuples(result.get()) == 0)
        return QString();
    return QString::fromUtf8(pq.PQgetvalue(result.get(), 0, 0));
}

// libpq's text of a failed connection, as one line.
QString connectionText(const QSqlError &error)
{
    return pg::oneLine(error.databaseText().trimmed().isEmpty() ? error.text() : error.databaseText());
}

} // namespace

PostgresEngine::PostgresEngine(const QString &uri, const QString &qtName)
    : m_qtName(qtName)
{
    const pg::ConnInfo info = pg::parseUri(uri);
    const QString shown = pg::maskPassword(uri);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        throw Failure(QStringLiteral("Could not open '%1': the PostgreSQL driver of Qt (QPSQL) is not installed.")
                          .arg(shown));
    }
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_qtName);
        try {
            pg::configure(db, info);
        } catch (const Failure &f) {
            failure = f.text();
        }
        if (failure.isEmpty() && !db.open())
            failure = pg::maskSecrets(connectionText(db.lastError()), uri);
        PGconn *conn = failure.isEmpty() ? handleOf(db) : nullptr;
        if (failure.isEmpty() && !conn)
            failure = QStringLiteral("the driver gives no PostgreSQL connection.");
        if (failure.isEmpty()) {
            try {
                // libpq would print the server's notices on standard error.
                libpq().PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
                m_session = std::make_shared<pg::Session>(conn);
                // A lock another session holds is waited for as long as an
                // SQLite file's busy timeout, so that a scheduled run ends,
                // unless the server or the URI set a wait of their own.
                if (!uri.contains(QLatin1String("lock_timeout"), Qt::CaseInsensitive)
                    && firstValue(*m_session, QStringLiteral("SHOW lock_timeout")) == QLatin1String("0")) {
                    m_session->answer(QStringLiteral("SET lock_timeout = %1").arg(kBusyTimeoutMs));
                }
            } catch (const Failure &f) {
                failure = f.text();
            }
        }
        if (!failure.isEmpty()) {
            if (m_session)
                m_session->close();
            db = QSqlDatabase();
        }
    }
    if (!failure.isEmpty()) {
        QSqlDatabase::removeDatabase(m_qtName);
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(shown, failure));
    }
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
    QSqlDatabase::database(m_qtName, false).close();
    QSqlDatabase::removeDatabase(m_qtName);
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
