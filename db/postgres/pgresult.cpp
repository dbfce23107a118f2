#include "db/postgres/pgresult.h"

#include "db/keepalive.h"
#include "db/postgres/pgvalue.h"
#include "base/failure.h"

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

// The statement without its trailing blanks and semicolons.
QString trimmedQuery(const QString &statement)
{
    qsizetype end = statement.size();
    while (end > 0 && (statement[end - 1].isSpace() || statement[end - 1] == u';'))
        --end;
    return statement.left(end);
}

// `select` of the query's rows, the query in a subquery: trimmed, on lines
// of its own, so that a comment at its end ends there. `after` follows the
// subquery.
QString overQuery(const QString &statement, QLatin1String select, const QString &after = QString())
{
    // One arg() call: a "%2" in the statement stays as it is.
    return QStringLiteral("SELECT %1 FROM (\n%2\n) AS rux_rows%3").arg(select, trimmedQuery(statement), after);
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
                                                     const QString &statement, bool chunked, qint64 *rowsAffected)
{
    const pg::Libpq &pq = libpq();
    std::unique_ptr<PostgresResult> result(new PostgresResult(session, statement));
    result->m_chunks = chunked;
    result->sendStatement();
    if (result->m_ownBlock) {
        result->describe(result->m_rows.get());
        return result;
    }
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

qint64 PostgresResult::sendStatement(qint64 from)
{
    m_session->makeFree();
    m_inBlock = m_session->inTransaction();
    if (from > 0 && !maySubquery())
        from = 0;
    // Outside a transaction block of the script's, a query is read through
    // a cursor in a transaction of its own, a chunk of rows per round trip;
    // the transaction ends with the read, or when the read is given up.
    if (m_chunks && !m_inBlock && m_skip != Skip::Refused) {
        m_session->exec(QStringLiteral("BEGIN"));
        // In its subquery form from the first row too: a query taken here
        // is taken run again from a later row.
        const QString query = from > 0 ? offsetQuery(m_statement, from) : overQuery(m_statement, QLatin1String("*"));
        const ResultPtr declared =
            m_session->answer(QStringLiteral("DECLARE rux_rows NO SCROLL CURSOR FOR\n%1\n").arg(query));
        if (declared && pg::succeeded(declared.get())) {
            m_skip = Skip::Offset;
            m_ownBlock = true;
            m_chunked = true;
            m_reading = true;
            fetchChunk();
            return from;
        }
        const bool refused = declared && m_skip == Skip::Untried && refusesSubquery(declared.get());
        const QString failure = pg::failureText(m_session->conn(), declared.get(), m_statement);
        m_session->exec(QStringLiteral("ROLLBACK"));
        if (!refused)
            throw Failure(failure);
        // No query: it runs as it is, from its first row.
        m_skip = Skip::Refused;
        from = 0;
    }
    m_session->send(from > 0 ? offsetQuery(m_statement, from) : m_statement, {}, true);
    m_reading = true;
    m_session->setStreaming(this);
    return from;
}

void PostgresResult::fetchChunk()
{
    // The session gives up the read it stands in before any command of
    // its own: not this one, which goes on with the read.
    m_session->setStreaming(nullptr);
    ResultPtr chunk = m_session->answer(QStringLiteral("FETCH FORWARD %1 FROM rux_rows").arg(kChunkRows));
    m_chunkRow = -1;
    if (chunk && libpq().PQresultStatus(chunk.get()) == PGRES_TUPLES_OK) {
        m_rows = std::move(chunk);
        m_session->setStreaming(this);
        return;
    }
    // The query failed as it ran: its transaction goes with it.
    const QString failure = pg::failureText(m_session->conn(), chunk.get(), m_statement);
    m_rows.reset();
    m_ended = true;
    endOwnBlock();
    throw Failure(failure);
}

void PostgresResult::endOwnBlock()
{
    if (!m_ownBlock)
        return;
    m_ownBlock = false;
    m_reading = false;
    if (m_session->streaming() == this)
        m_session->setStreaming(nullptr);
    if (m_session->open())
        m_session->exec(QLatin1String(m_session->inTransaction() ? "COMMIT" : "ROLLBACK"));
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
    if (m_ownBlock) {
        // Nobody is told of a failure here, as below.
        try {
            endOwnBlock();
        } catch (const Failure &failure) {
            m_session->tellLater(failure.text());
        }
        return;
    }
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
    if (m_ownBlock) {
        const pg::Libpq &pq = libpq();
        if (m_rows && ++m_chunkRow < pq.PQntuples(m_rows.get())) {
            ++m_row;
            keepalive::tick();
            return true;
        }
        if (!m_rows || pq.PQntuples(m_rows.get()) < kChunkRows) {
            m_rows.reset();
            m_ended = true;
            endOwnBlock();
            return false;
        }
        fetchChunk();
        return next();
    }
    if (m_pending)
        return takeRow(std::move(m_pending));
    return takeRow(m_session->nextResult());
}

int PostgresResult::rowAtHand(int column) const
{
    const int row = m_chunked ? m_chunkRow : 0;
    if (!m_rows || column < 0 || column >= m_types.size() || row < 0 || row >= libpq().PQntuples(m_rows.get()))
        return -1;
    return row;
}

QVariant PostgresResult::value(int column) const
{
    const pg::Libpq &pq = libpq();
    const int row = rowAtHand(column);
    if (row < 0)
        return QVariant();
    return pg::valueOf(m_types[column], pq.PQgetvalue(m_rows.get(), row, column),
                       pq.PQgetisnull(m_rows.get(), row, column));
}

void PostgresResult::appendAnsi(int column, QChar decimalPoint, QByteArray &out) const
{
    const pg::Libpq &pq = libpq();
    const int row = rowAtHand(column);
    if (row < 0)
        return;
    pg::appendCellAnsi(m_types[column], m_columns.yesNo[column], pq.PQgetvalue(m_rows.get(), row, column),
                       pq.PQgetlength(m_rows.get(), row, column), pq.PQgetisnull(m_rows.get(), row, column),
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
    m_chunked = false;
    m_row = -1;
    m_ended = false;
    qint64 from = sendStatement(row);
    if (from > 0 && !m_ownBlock) {
        ResultPtr first = m_session->nextResult();
        if (first && m_skip == Skip::Untried && refusesSubquery(first.get())) {
            endRead();
            m_skip = Skip::Refused;
            from = sendStatement(0);
        } else {
            m_skip = Skip::Offset;
            m_pending = std::move(first);
        }
    }
    m_row = from - 1;
    while (m_row < row - 1 && next()) {
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
