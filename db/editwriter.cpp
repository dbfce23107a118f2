#include "db/editwriter.h"

#include "db/tablename.h"
#include "db/valuetext.h"
#include "base/failure.h"

namespace rux {

EditWriter::EditWriter(DatabaseEngine &engine, const EditTarget &target, const ResultColumns &columns,
                       int hidden, QChar decimalPoint)
    : m_engine(engine), m_target(target), m_columns(columns), m_hidden(hidden), m_decimalPoint(decimalPoint)
{
}

// The rowid is named bare: a quoted "rowid" would be taken for a column.
QString EditWriter::columnSql(int column) const
{
    return m_target.rowidColumn && column == 0 ? QStringLiteral("rowid")
                                               : quoteIdentifier(m_target.origins[column]);
}

QString EditWriter::tableSql() const
{
    return m_target.schema.isEmpty() ? quoteIdentifier(m_target.table)
                                     : quoteIdentifier(m_target.schema) + u'.' + quoteIdentifier(m_target.table);
}

// A cell holds a null for NULL, or a text. An emptied cell is an empty text,
// but NULL in a column of numbers or yes/no values, where an empty text is
// no value.
QVariant EditWriter::bindValue(int column, const QVariant &shown, const QVariant &original) const
{
    if (shown.isNull())
        return QVariant();
    if (shown.typeId() == QMetaType::QString) {
        const QString text = shown.toString();
        if (text.isEmpty()) {
            if (isNumberType(original.typeId()) || m_columns.yesNo.value(column) || m_columns.decimal.value(column))
                return QVariant();
            return QStringLiteral("");
        }
        if (m_columns.yesNo.value(column)) {
            // A server's boolean column takes only a boolean value.
            const bool typed = m_engine.typedBooleans();
            const QString t = text.trimmed().toLower();
            if (t == QLatin1String("wahr") || t == QLatin1String("true") || t == QLatin1String("1"))
                return typed ? QVariant(true) : QVariant(1);
            if (t == QLatin1String("falsch") || t == QLatin1String("false") || t == QLatin1String("0"))
                return typed ? QVariant(false) : QVariant(0);
        }
        if (m_columns.decimal.value(column) && m_decimalPoint != u'.')
            return QString(text).replace(m_decimalPoint, u'.');
    }
    return shown;
}

QString EditWriter::whereKey(QVector<QVariant> &binds, const Row &row) const
{
    QStringList terms;
    for (int k : m_target.keyColumns) {
        binds.append(row.value(k));
        terms.append(columnSql(k) + m_engine.keyComparison() + m_engine.writeMark(int(binds.size())));
    }
    return terms.join(QStringLiteral(" AND "));
}

EditWriter::Row EditWriter::reread(const QString &where, const QVector<QVariant> &binds)
{
    QStringList columns;
    for (int i = 0; i < m_target.origins.size(); ++i)
        columns.append(columnSql(i));
    const QVector<Row> rows = m_engine.read(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columns.join(u','), tableSql(), where), binds);
    return rows.isEmpty() ? Row() : rows.front();
}

std::optional<EditWriter::Row> EditWriter::update(const Row &original, const QVector<QVariant> &shown)
{
    QStringList sets;
    QVector<QVariant> binds;
    Row updated = original;
    for (int c = 0; c < shown.size(); ++c) {
        const int i = m_hidden + c;
        // A cell still showing the text of its value is not written: the
        // text of a real, a blob or an empty text would not give the value
        // back.
        if (shown[c].typeId() == QMetaType::QString
            && shown[c].toString()
                == cellText(original.value(i), m_columns.yesNo.value(i), m_columns.decimal.value(i),
                            m_decimalPoint))
            continue;
        const QVariant v = bindValue(i, shown[c], original.value(i));
        if (v == original.value(i) && v.isNull() == original.value(i).isNull())
            continue;
        binds.append(v);
        sets.append(quoteIdentifier(m_target.origins[i]) + QStringLiteral(" = ")
                    + m_engine.writeMark(int(binds.size())));
        updated[i] = v;
    }
    if (sets.isEmpty())
        return std::nullopt;
    const QString where = whereKey(binds, original);
    if (m_engine.write(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(tableSql(), sets.join(u','), where), binds)
        == 0) {
        throw Failure(QStringLiteral("Row cannot be located for updating. "
                                     "Some values may have been changed since it was last read."));
    }
    QVector<QVariant> keyBinds;
    const QString newWhere = whereKey(keyBinds, updated);
    const Row stored = reread(newWhere, keyBinds);
    return stored.isEmpty() ? updated : stored;
}

EditWriter::Row EditWriter::insert(const QVector<QVariant> &shown)
{
    QStringList columns;
    QStringList marks;
    QVector<QVariant> binds;
    Row full(m_columns.names.size());
    for (int c = 0; c < shown.size(); ++c) {
        const int i = m_hidden + c;
        // A cell left empty gives the column its default; one set to NULL
        // writes NULL.
        if (!shown[c].isValid() || (shown[c].typeId() == QMetaType::QString && shown[c].toString().isEmpty()))
            continue;
        const QVariant v = bindValue(i, shown[c]);
        full[i] = v;
        columns.append(quoteIdentifier(m_target.origins[i]));
        binds.append(v);
        marks.append(m_engine.writeMark(int(binds.size())));
    }
    const QString insertSql = columns.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(tableSql())
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(tableSql(), columns.join(u','), marks.join(u','));
    QStringList keySql;
    for (int k : m_target.keyColumns)
        keySql.append(columnSql(k));
    const InsertedRow inserted = m_engine.insert(insertSql, binds, keySql);
    // The row as the engine stored it; what was sent when it cannot be
    // read back.
    Row stored;
    if (inserted.rowid.isValid()
        && (m_target.rowidColumn || m_engine.tableInfo(m_target.schema, m_target.table).hasRowid)) {
        stored = reread(QStringLiteral("rowid = ") + m_engine.writeMark(1), {inserted.rowid});
    } else {
        Row keyRow = full;
        for (int i = 0; i < inserted.key.size() && i < m_target.keyColumns.size(); ++i)
            keyRow[m_target.keyColumns[i]] = inserted.key[i];
        QVector<QVariant> keyBinds;
        stored = reread(whereKey(keyBinds, keyRow), keyBinds);
    }
    return stored.isEmpty() ? full : stored;
}

void EditWriter::remove(const Row &row)
{
    QVector<QVariant> binds;
    const QString where = whereKey(binds, row);
    if (m_engine.write(QStringLiteral("DELETE FROM %1 WHERE %2").arg(tableSql(), where), binds) == 0) {
        throw Failure(QStringLiteral("Row cannot be located for deleting. "
                                     "Some values may have been changed since it was last read."));
    }
}

} // namespace rux
