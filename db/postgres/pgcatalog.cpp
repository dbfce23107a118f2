#include "db/postgres/pgcatalog.h"

#include "db/postgres/pgsession.h"
#include "db/tablename.h"
#include "base/textfold.h"

namespace rux::pg {

namespace {

QString textAt(const PGresult *result, int row, int column)
{
    return QString::fromUtf8(libpq().PQgetvalue(result, row, column));
}

// The table of that oid, with the column number of each of its columns;
// false when there is none.
bool tableByOid(Session &session, unsigned oid, TableInfo *info, QVector<int> *attnums)
{
    const Libpq &pq = libpq();
    const QVector<QVariant> key{QVariant(oid)};
    const ResultPtr rel = session.exec(
        QStringLiteral("SELECT n.nspname, c.relname, c.relkind FROM pg_catalog.pg_class c "
                       "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = $1"),
        key);
    if (pq.PQntuples(rel.get()) == 0)
        return false;
    info->schema = textAt(rel.get(), 0, 0);
    info->table = textAt(rel.get(), 0, 1);
    const QString kind = textAt(rel.get(), 0, 2);
    // Anything but a plain or partitioned table is edited as a view.
    info->isView = kind != QLatin1String("r") && kind != QLatin1String("p");
    info->hasRowid = false;

    const ResultPtr cols = session.exec(
        QStringLiteral("SELECT attnum, attname FROM pg_catalog.pg_attribute WHERE attrelid = $1 "
                       "AND attnum > 0 AND NOT attisdropped ORDER BY attnum"),
        key);
    for (int r = 0; r < pq.PQntuples(cols.get()); ++r) {
        attnums->append(std::atoi(pq.PQgetvalue(cols.get(), r, 0)));
        info->columns.append(textAt(cols.get(), r, 1));
    }

    const ResultPtr primary = session.exec(
        QStringLiteral("SELECT a.attname FROM pg_catalog.pg_index i "
                       "CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord) "
                       "JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
                       "WHERE i.indrelid = $1 AND i.indisprimary ORDER BY k.ord"),
        key);
    for (int r = 0; r < pq.PQntuples(primary.get()); ++r)
        info->primaryKey.append(textAt(primary.get(), r, 0));
    return true;
}

} // namespace

TableInfo tableNamed(Session &session, const QString &schema, const QString &table)
{
    QStringList candidates;
    const QString prefix = schema.isNull() ? QString() : quoteIdentifier(schema) + u'.';
    candidates.append(prefix + quoteIdentifier(table));
    const QString lowerPrefix =
        schema.isNull() ? QString() : quoteIdentifier(asciiLower(schema)) + u'.';
    const QString lower = lowerPrefix + quoteIdentifier(asciiLower(table));
    if (lower != candidates.front())
        candidates.append(lower);

    const Libpq &pq = libpq();
    for (const QString &name : candidates) {
        const ResultPtr found =
            session.exec(QStringLiteral("SELECT to_regclass($1)::oid"), {QVariant(name)});
        if (pq.PQntuples(found.get()) == 0 || pq.PQgetisnull(found.get(), 0, 0))
            continue;
        TableInfo info;
        QVector<int> attnums;
        const unsigned oid = unsigned(std::strtoul(pq.PQgetvalue(found.get(), 0, 0), nullptr, 10));
        if (tableByOid(session, oid, &info, &attnums))
            return info;
    }
    return TableInfo();
}

ResultOrigin originOf(Session &session, const QVector<ColumnSource> &columns)
{
    ResultOrigin origin;
    if (columns.isEmpty())
        return origin;
    const unsigned oid = columns.front().table;
    for (const ColumnSource &c : columns) {
        if (c.table == 0 || c.table != oid || c.attnum <= 0)
            return origin;
    }
    TableInfo table;
    QVector<int> attnums;
    if (!tableByOid(session, oid, &table, &attnums))
        return origin;
    for (const ColumnSource &c : columns) {
        const qsizetype at = attnums.indexOf(c.attnum);
        if (at < 0)
            return ResultOrigin();
        origin.columns.append(table.columns[at]);
    }
    origin.schema = table.schema;
    origin.table = table.table;
    origin.valid = true;
    return origin;
}

} // namespace rux::pg
