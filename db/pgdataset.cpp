// The PostgreSQL side of SqlDataSet: the checks a statement passes before
// it runs on a server, and the catalog facts for editing rows in place.

#include "sqldataset.h"

#include "adoconnection.h"
#include "failure.h"
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
// filled in), read back in the same statement.
QVector<QVariant> SqlDataSet::insertPostgres(const QString &insertSql, const QVector<QVariant> &binds)
{
    QStringList columns;
    for (const QString &origin : m_origins)
        columns.append(quoteIdentifier(origin));
    yieldConnection();
    QSqlQuery q(m_connection->database());
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!q.prepare(insertSql + QStringLiteral(" RETURNING ") + columns.join(u',')))
        failEngine(q);
    return editedColumnsOfFirstRow(q, binds);
}

} // namespace rux
