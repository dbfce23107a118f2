#include "db/postgres/pgresult.h"

#include "db/keepalive.h"
#include "db/postgres/pgvalue.h"
#include "script/failure.h"

namespace rux {

using pg::libpq;
using pg::ResultPtr;

ResultColumns pg::columnsOf(const PGresult *result)
{
    const Libpq &pq = libpq();
    ResultColumns columns;
    for (int c = 0; c < pq.PQnfields(result); ++c) {
        const unsigned type = pq.PQftype(result, c);
        columns.names.append(QString::fromUtf8(pq.PQfname(result, c)));
        columns.yesNo.append(isYesNo(type, pq.PQfmod(result, c)));
        columns.decimal.append(isDecimal(type));
    }
    return columns;
}

PostgresResult::PostgresResult(std::shared_ptr<pg::Session> session, QString statement)
    : m_session(std::move(session)), m_statement(std::move(statement))
{
}

namespace {

// `select` of the query's rows, the query in a subquery: its trailing
// semicolons cut off, on lines of its own, so that a comment at its end
// ends there. `after` follows the subquery.
QString overQuery(const QString &statement, QLatin1String select, const QString &after = QString())
{
    qsizetype end = statement.size();
    while (end > 0 && (statement[end - 1].isSpace() || statement[end - 1] == u';'))
        --end;
    // One arg() call: a "%2" in the statement stays as it is.
    return QStringLiteral("SELECT %1 FROM (\n%2\n) AS rux_rows%3").arg(select, statement.left(end), after);
}

// The query with its first `from` rows left out by the server.
QString offsetQuery(const QString &statement, qint64 from)
{
    return overQuery(statement, QLatin1String("*"), QStringLiteral(" OFFSET ") + QString::number(from));
}

// The server refused the query's "OFFSET" form for what the statement is
// (a syntax error where it is no query, a feature a subquery lacks), not
// for what it does.
bool refusesSubquery(const PGresult *result)
{
    const QString state = pg::sqlState(result);
    return state == QLatin1String("42601") || state == QLatin1String("0A000");
}

} // namespace

std::unique_ptr<PostgresResult> PostgresResult::open(const std::shared_ptr<pg::Session> &session,
                                                     const QString &statement, qint64 *rowsAffected)
{
    const pg::Libpq &pq = libpq();
    std::unique_ptr<PostgresResult> result(new PostgresResult(session, statement));
    result->sendStatement();
    ResultPtr first = session->nextResult();
    const ExecStatusType status = first ? pq.PQresultStatus(first.get()) : PGRES_FATAL_ERROR;
    if ((status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) && pq.PQnfields(first.get()) > 0) {
        result->describe(first.get());
        result->m_pending = std::move(first);
        return result;
    }
    result->endRead();
    if (!first || !pg::succeeded(first.get()))
        throw Failure(pg::failureText(session->conn(), first.get(), statement));
    *rowsAffected = pg::rowsChanged(first.get());
    return nullptr;
}

PostgresResult::~PostgresResult()
{
    if (!m_session->open())
        return;
    try {
        if (m_reading)
            giveUp();
    } catch (const Failure &) {
        // The connection broke: nothing is left to close on it.
    }
}

void PostgresResult::describe(const PGresult *result)
{
    const pg::Libpq &pq = libpq();
    m_columns = pg::columnsOf(result);
    m_types.clear();
    m_sources.clear();
    for (int c = 0; c < m_columns.names.size(); ++c) {
        m_types.append(pq.PQftype(result, c));
        m_sources.append({pq.PQftable(result, c), pq.PQftablecol(result, c)});
    }
}

void PostgresResult::sendStatement(qint64 from)
{
    m_session->makeFree();
    m_inBlock = m_session->inTransaction();
    m_session->send(from > 0 ? offsetQuery(m_statement, from) : m_statement, {}, true);
    m_reading = true;
    m_session->setStreaming(this);
}

void PostgresResult::endRead()
{
    if (m_session->streaming() == this)
        m_session->setStreaming(nullptr);
    m_reading = false;
    m_pending.reset();
    m_session->drain();
}

void PostgresResult::giveUp()
{
    if (!m_reading)
        return;
    m_pending.reset();
    if (!m_session->open()) {
        // The connection was given up while the read stood on it.
        m_reading = false;
        return;
    }
    const pg::Libpq &pq = libpq();
    PGconn *conn = m_session->conn();
    // Rows that have arrived already are dropped without a word to the
    // server; a statement that has more to send is cancelled, except inside
    // a transaction block, which a cancelled statement would fail: there
    // the rest is read and dropped.
    bool ended = false;
    pq.PQconsumeInput(conn);
    while (!pq.PQisBusy(conn)) {
        PGresult *left = pq.PQgetResult(conn);
        if (!left) {
            ended = true;
            break;
        }
        pq.PQclear(left);
    }
    if (!ended && !m_inBlock)
        m_session->sendCancel();
    // Giving up happens where nobody could be told of a failure (the
    // program about to wait for the user): a connection lost meanwhile has
    // closed the session, and its next use says why.
    try {
        endRead();
    } catch (const Failure &failure) {
        m_session->tellLater(failure.text());
    }
}

bool PostgresResult::takeRow(ResultPtr result)
{
    const pg::Libpq &pq = libpq();
    const ExecStatusType status = result ? pq.PQresultStatus(result.get()) : PGRES_TUPLES_OK;
    if (status == PGRES_SINGLE_TUPLE) {
        m_rows = std::move(result);
        ++m_row;
        keepalive::tick();
        return true;
    }
    m_rows.reset();
    m_ended = true;
    const QString failure = status == PGRES_TUPLES_OK
        ? QString()
        : pg::failureText(m_session->conn(), result.get(), m_statement);
    endRead();
    if (!failure.isEmpty())
        throw Failure(failure);
    return false;
}

bool PostgresResult::next()
{
    if (m_ended)
        return false;
    if (!m_reading) {
        // Given up for another command: read again up to where it stood.
        restart(m_row + 1);
        if (m_ended)
            return false;
    }
    if (m_pending)
        return takeRow(std::move(m_pending));
    return takeRow(m_session->nextResult());
}

QVariant PostgresResult::value(int column) const
{
    const pg::Libpq &pq = libpq();
    if (!m_rows || column < 0 || column >= m_types.size() || pq.PQntuples(m_rows.get()) < 1)
        return QVariant();
    return pg::valueOf(m_types[column], pq.PQgetvalue(m_rows.get(), 0, column), pq.PQgetisnull(m_rows.get(), 0, column));
}

void PostgresResult::appendAnsi(int column, QChar decimalPoint, QByteArray &out) const
{
    const pg::Libpq &pq = libpq();
    if (!m_rows || column < 0 || column >= m_types.size() || pq.PQntuples(m_rows.get()) < 1)
        return;
    pg::appendCellAnsi(m_types[column], m_columns.yesNo[column], pq.PQgetvalue(m_rows.get(), 0, column),
                       pq.PQgetlength(m_rows.get(), 0, column), pq.PQgetisnull(m_rows.get(), 0, column),
                       decimalPoint, out);
}

bool PostgresResult::pause()
{
    if (m_reading)
        giveUp();
    return true;
}

qint64 PostgresResult::restart(qint64 row)
{
    pause();
    m_pending.reset();
    m_rows.reset();
    m_row = -1;
    m_ended = false;
    if (row > 0 && maySubquery()) {
        sendStatement(row);
        ResultPtr first = m_session->nextResult();
        if (first && m_skip == Skip::Untried && refusesSubquery(first.get())) {
            endRead();
            m_skip = Skip::Refused;
        } else {
            m_skip = Skip::Offset;
            m_pending = std::move(first);
            m_row = row - 1;
            return m_row;
        }
    }
    sendStatement();
    while (m_row < row - 1 && takeRow(m_session->nextResult())) {
    }
    return m_row;
}

qint64 PostgresResult::rerun()
{
    return restart(0);
}

bool PostgresResult::maySubquery() const
{
    return m_skip == Skip::Offset || (m_skip == Skip::Untried && !m_session->inTransaction());
}

qint64 PostgresResult::countRows()
{
    // A read standing part-way counts as a command in progress.
    pause();
    if (!maySubquery())
        return -1;
    const ResultPtr counted = m_session->answer(overQuery(m_statement, QLatin1String("count(*)")));
    if (counted && m_skip == Skip::Untried && refusesSubquery(counted.get())) {
        m_skip = Skip::Refused;
        return -1;
    }
    if (!counted || !pg::succeeded(counted.get()))
        throw Failure(pg::failureText(m_session->conn(), counted.get(), m_statement));
    m_skip = Skip::Offset;
    return QByteArray(libpq().PQgetvalue(counted.get(), 0, 0)).toLongLong();
}

ResultOrigin PostgresResult::origin()
{
    pause();
    return pg::originOf(*m_session, m_sources);
}

} // namespace rux
