#pragma once

#include "db/engine.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <optional>

namespace rux {

// Where the edits of a grid go: a table, the table column each column of
// the rows comes from, and the columns (indices among all columns, a
// hidden rowid included) that identify a row. `rowidColumn`: the first
// column is the table's rowid, which is named bare.
struct EditTarget
{
    QString schema;
    QString table;
    QVector<int> keyColumns;
    QStringList origins;
    bool rowidColumn = false;
};

// Writes a grid's edits of rows back to their table, each row found by its
// key, and reads the row back as the engine stored it (defaults, generated
// keys and triggers' work filled in). Rows hold every column, the first
// `hidden` of which the grid does not show; the values given are those of
// the shown columns, as the grid holds them (a cell's text, or a value).
class EditWriter
{
public:
    using Row = QVector<QVariant>;

    EditWriter(DatabaseEngine &engine, const EditTarget &target, const ResultColumns &columns,
               int hidden, QChar decimalPoint);

    const EditTarget &target() const { return m_target; }

    // The row after writing `shown` over `original`; nothing when no value
    // changed. Fails when the row is no longer there.
    std::optional<Row> update(const Row &original, const QVector<QVariant> &shown);
    Row insert(const QVector<QVariant> &shown);
    void remove(const Row &row);

private:
    // The value to write for what a cell of `column` holds, over the value
    // `original` it held before (none for a new row).
    QVariant bindValue(int column, const QVariant &shown, const QVariant &original = QVariant()) const;
    QString whereKey(QVector<QVariant> &binds, const Row &row) const;
    QString columnSql(int column) const;
    QString tableSql() const;
    // The row the condition finds, every column; empty when none.
    Row reread(const QString &where, const QVector<QVariant> &binds);

    DatabaseEngine &m_engine;
    EditTarget m_target;
    ResultColumns m_columns;
    int m_hidden;
    QChar m_decimalPoint;
};

} // namespace rux
