// The PostgreSQL side of SqlDataSet: the checks a statement passes before
// it runs on a server, and the catalog facts for editing rows in place.

#include "sqldataset.h"

#include "adoconnection.h"
#include "failure.h"
#include "keepalive.h"
#include "pgstatement.h"
#include "sqltext.h"
#include "tablename.h"

#include <QSqlQuery>

namespace rux {

// The server's driver streams a forward-only result row by row over the
// connection; any other statement sent meanwhile would make it drop the
// rest of those rows without a word. So every other query and table, and
// this one, pause their reads first; a paused read runs its statement again
// when more rows are wanted.
void SqlDataSet::yieldConnection()
{
    if (m_connection->runsOnSqlite())
        return;
    m_connection->announceStatement(this);
    pauseCursor(true);
}

// One statement per text, parameter marks and the server's own parameters
// refused, the statement parsed by the server, and, while nothing streams
// yet, the table its columns come from looked up.
QString SqlDataSet::preparePostgres(const QString &sent, const QList<qsizetype> &markPositions)
{
    const QString first = singleStatementText(sent);
    QList<qsizetype> inFirst;
    for (qsizetype pos : markPositions) {
        if (pos < first.size())
            inFirst.append(pos);
    }
    pg::refuseParameterMarks(first, inFirst);
    const QSqlDatabase db = m_connection->database();
    m_pgColumns = pg::describe(db, first);
    m_pgOrigin = pg::originOf(db, m_pgColumns);
    return first;
}

SqlDataSet::Origin SqlDataSet::postgresOrigin() const
{
    Origin origin;
    if (!m_pgOrigin.table.exists || m_pgOrigin.columns.size() != m_names.size())
        return origin;
    origin.schema = m_pgOrigin.table.schema;
    origin.table = m_pgOrigin.table.table;
    origin.columns = m_pgOrigin.columns;
    origin.valid = !origin.columns.isEmpty();
    return origin;
}

SqlDataSet::TableInfo SqlDataSet::postgresTableInfo(const QString &schema, const QString &table)
{
    pg::Table t;
    if (m_pgOrigin.table.exists && m_pgOrigin.table.schema == schema && m_pgOrigin.table.table == table) {
        // Looked up before the open statement ran; asking again now would
        // stop its rows.
        t = m_pgOrigin.table;
    } else {
        yieldConnection();
        t = pg::tableNamed(m_connection->database(), schema, table);
    }
    TableInfo info;
    if (!t.exists)
        return info;
    info.columns = t.columns;
    info.primaryKey = t.primaryKey;
    info.isView = t.isView;
    info.hasRowid = false;
    info.schema = t.schema;
    info.table = t.table;
    return info;
}

// The inserted row as the server stored it (defaults and serial values
// filled in): the insert hands its key back, and the row is read by it.
QVector<QVariant> SqlDataSet::insertPostgres(const QString &insertSql, const QVector<QVariant> &binds)
{
    QStringList keys;
    for (int k : m_keyColumns)
        keys.append(quoteIdentifier(m_origins[k]));
    yieldConnection();
    const pg::Outcome inserted = pg::runCommand(m_connection->database(),
                                                insertSql + QStringLiteral(" RETURNING ") + keys.join(u','), binds);
    if (!inserted.ok)
        throw Failure(inserted.text);
    QVector<QVariant> keyRow(m_names.size());
    for (int i = 0; i < m_keyColumns.size(); ++i)
        keyRow[m_keyColumns[i]] = inserted.firstRow.value(i);
    QVector<QVariant> keyBinds;
    return rereadRow(whereKey(keyBinds, keyRow, Marks::Question), keyBinds);
}

// On a screen, a statement with a result runs on a cursor of the server's
// own that holds its rows once it has run (WITH HOLD): the statement runs
// without blocking the windows (pg::runCommand), and its rows are fetched
// in chunks, each a command that ends at once, so that between chunks
// nothing is left open on the connection, no transaction and no lock.
// Without a screen the rows stream through the driver, which costs the
// server no copy of them; a read left part-way is given up whenever the
// program waits.
SqlDataSet::ServerRun SqlDataSet::runOnServer(const QString &statement, bool wantRows, qint64 *rowsAffected)
{
    if (!wantRows || m_pgColumns.isEmpty()) {
        const pg::Outcome done = pg::runCommand(m_connection->database(), statement);
        if (!done.ok)
            throw Failure(done.text);
        *rowsAffected = done.rowsAffected;
        return ServerRun::Done;
    }
    if (!keepalive::installed())
        return ServerRun::Streamed;
    static int serial = 0;
    m_serverCursor = QStringLiteral("rux_rows_%1").arg(++serial);
    try {
        declareServerCursor(statement);
    } catch (const ServerCursorRefused &) {
        // Only a query can be held (not SHOW or EXPLAIN, say): such a
        // statement streams through the driver.
        m_serverCursor.clear();
        return ServerRun::Streamed;
    } catch (...) {
        m_serverCursor.clear();
        throw;
    }
    m_query = fetchServerChunk();
    return ServerRun::Held;
}

void SqlDataSet::declareServerCursor(const QString &statement)
{
    const pg::Outcome declared =
        pg::runCommand(m_connection->database(),
                       QStringLiteral("DECLARE %1 SCROLL CURSOR WITH HOLD FOR ").arg(m_serverCursor) + statement);
    if (declared.ok)
        return;
    // A syntax error here, where the statement alone was valid, or a
    // feature a held cursor lacks: the statement is not a plain query.
    if (declared.sqlState == QLatin1String("42601") || declared.sqlState == QLatin1String("0A000"))
        throw ServerCursorRefused();
    throw Failure(declared.text);
}

void SqlDataSet::closeServerCursor()
{
    if (m_serverCursor.isEmpty())
        return;
    if (m_connection->connected() && !m_connection->runsOnSqlite())
        pg::runCommand(m_connection->database(), QStringLiteral("CLOSE ") + m_serverCursor);
    m_serverCursor.clear();
}

std::unique_ptr<QSqlQuery> SqlDataSet::fetchServerChunk()
{
    auto chunk = std::make_unique<QSqlQuery>(m_connection->database());
    // Not forward-only: the driver then takes the whole chunk at once
    // instead of streaming it, and leaves nothing unread on the connection.
    chunk->setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!chunk->exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(kServerChunkRows).arg(m_serverCursor)))
        failEngine(*chunk);
    return chunk;
}

bool SqlDataSet::stepServerCursor()
{
    if (m_query->next())
        return true;
    if (m_query->size() < kServerChunkRows)
        return false;
    m_query = fetchServerChunk();
    return m_query->next();
}

qint64 SqlDataSet::moveServerCursor(qint64 row)
{
    QSqlQuery move(m_connection->database());
    if (!move.exec(QStringLiteral("MOVE ABSOLUTE %1 IN %2").arg(row).arg(m_serverCursor)))
        failEngine(move);
    m_query = fetchServerChunk();
    return row - 1;
}

} // namespace rux
