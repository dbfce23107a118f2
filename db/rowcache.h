#pragma once

#include <QSet>
#include <QString>
#include <QVariant>
#include <QVector>

namespace rux {

// The rows a grid has asked for, in the grid's order. When the rows have
// keys, each key is held once: the engine's scan may meet a row the grid
// holds already (a row inserted or moved further on by an edit, every row
// after a read that ran its statement again), and such a row is not taken
// a second time.
class RowCache
{
public:
    using Row = QVector<QVariant>;

    // The columns (of a row) that identify it; none: every row is taken.
    void setKeyColumns(const QVector<int> &keyColumns);

    qsizetype size() const { return m_rows.size(); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const Row &at(qsizetype row) const { return m_rows.at(row); }
    Row value(qsizetype row) const { return m_rows.value(row); }

    // Places `row` at `at` unless a row with its key is held; true when
    // placed.
    bool insert(qsizetype at, Row row);
    // Places an edited row at `at` whatever its key.
    void place(qsizetype at, Row row);
    void replace(qsizetype at, Row row);
    void remove(qsizetype at);
    void clear();

private:
    // The key values of a row as one text, the type part of it as the
    // engine tells 1 from '1'. Null when there are no keys or a key value is
    // null (a null key need not be unique).
    QString keyText(const Row &row) const;
    // Holds the row's key, when it has one.
    void remember(const Row &row);

    QVector<Row> m_rows;
    QVector<int> m_keyColumns;
    QSet<QString> m_keys;
};

} // namespace rux
