#include "adotable.h"

#include "adoconnection.h"
#include "failure.h"
#include "tablename.h"

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

    if (!info.isView && !info.primaryKey.isEmpty()) {
        execute(QStringLiteral("SELECT * FROM %1").arg(from));
        QVector<int> key;
        for (const QString &pk : info.primaryKey)
            key.append(int(info.columns.indexOf(pk)));
        setEditTarget(schema, table, key, info.columns, false);
    } else if (!info.isView && info.hasRowid) {
        // Rows without a declared key are addressed by their rowid, read
        // in a leading column the grid does not show.
        execute(QStringLiteral("SELECT rowid, * FROM %1").arg(from), 1);
        setEditTarget(schema, table, {0}, QStringList{QStringLiteral("rowid")} + info.columns, true);
    } else {
        execute(QStringLiteral("SELECT * FROM %1").arg(from));
    }
    Q_EMIT reset();
}

void AdoTable::Close()
{
    release();
}

} // namespace rux
