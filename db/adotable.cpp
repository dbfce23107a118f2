#include "db/adotable.h"

#include "db/adoconnection.h"
#include "db/tablename.h"
#include "base/failure.h"

namespace rux {

AdoTable::AdoTable(AdoConnection *connection, const QString &objectName, QObject *parent)
    : SqlDataSet(connection, objectName, parent)
{
}

void AdoTable::setTableName(const QString &name)
{
    const QString bracketed = applyBracketRule(name);
    if (bracketed == m_tableName)
        return;
    if (isActive())
        throw Failure(objectName() + QStringLiteral(": Operation bei geöffneter Datenmenge nicht ausführbar"));
    m_tableName = bracketed;
}

void AdoTable::Open()
{
    if (isActive())
        return;
    if (m_tableName.isEmpty())
        throw Failure(objectName() + QStringLiteral(": Eigenschaft TableName fehlt"));
    const TableRef ref = parseTableName(m_tableName);
    connection()->ensureOpen();
    const TableInfo info = tableInfo(ref.schema, ref.table);
    if (info.columns.isEmpty())
        throw Failure(QStringLiteral("no such table: %1").arg(m_tableName));

    // The names as the engine spells them, where it says.
    const QString schema = info.schema.isNull() ? ref.schema : info.schema;
    const QString table = info.table.isNull() ? ref.table : info.table;
    const QString from = schema.isEmpty()
        ? quoteIdentifier(table)
        : quoteIdentifier(schema) + u'.' + quoteIdentifier(table);
    // The columns are named: a column added to the table meanwhile does
    // not change the windows read later, and one dropped fails clearly.
    QStringList columns;
    for (const QString &c : info.columns)
        columns.append(quoteIdentifier(c));
    const QString listed = columns.join(u',');

    QVector<int> primaryKey;
    QStringList primaryKeySql;
    for (const QString &pk : info.primaryKey) {
        primaryKey.append(int(info.columns.indexOf(pk)));
        primaryKeySql.append(quoteIdentifier(pk));
    }
    if (!info.isView && info.hasRowid) {
        // Read in rowid order, as the engine stores the rows, from a
        // leading column the grid does not show. Rows are written back by
        // the primary key where the table declares one, else by the rowid.
        openWindows(QStringLiteral("SELECT rowid,%1 FROM %2").arg(listed, from), from, 1, {0},
                    {QStringLiteral("rowid")});
        QVector<int> key;
        for (int k : primaryKey)
            key.append(k + 1);
        if (key.isEmpty())
            key.append(0);
        setEditTarget(EditTarget{schema, table, key, QStringList{QStringLiteral("rowid")} + info.columns, true});
    } else if (!info.isView && !primaryKey.isEmpty()) {
        openWindows(QStringLiteral("SELECT %1 FROM %2").arg(listed, from), from, 0, primaryKey, primaryKeySql);
        setEditTarget(EditTarget{schema, table, primaryKey, info.columns, false});
    } else if (const QString location = engine().locationColumn(); !info.isView && !location.isEmpty()) {
        // A table without a primary key is read in the order its rows lie,
        // by their location, where the engine has one; that is no key to
        // write back by, so the rows stay read-only.
        openWindows(QStringLiteral("SELECT %1,%2 FROM %3").arg(location, listed, from), from, 1, {0}, {location});
        setReadOnlyReason(readOnlyTableText(table, false));
    } else {
        // Nothing orders the rows: they are read as the statement gives
        // them, and cannot be written back.
        execute(QStringLiteral("SELECT * FROM %1").arg(from));
        setReadOnlyReason(readOnlyTableText(table, info.isView));
    }
    if (canJump()) {
        try {
            fetchMore(kWindowRows);
        } catch (...) {
            release();
            throw;
        }
    }
    Q_EMIT reset();
}

void AdoTable::Close()
{
    release();
}

} // namespace rux
