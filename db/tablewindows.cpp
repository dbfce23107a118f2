// The reading of SqlDataSet by key: a table's rows in windows ordered by
// its rowid or primary key, each window a statement of its own that starts
// after (or, going back, before) the last key read and ends at once.

#include "db/sqldataset.h"

#include "db/adoconnection.h"

#include <algorithm>

namespace rux {

void SqlDataSet::openWindows(const QString &select, int hiddenColumns, const QVector<int> &orderColumns,
                             const QStringList &orderSql)
{
    release();
    m_connection->ensureOpen();
    m_connection->announceStatement(this);
    m_windows = std::make_unique<Windows>();
    m_windows->select = select;
    m_windows->orderColumns = orderColumns;
    m_windows->orderSql = orderSql;
    m_hidden = hiddenColumns;
    m_active = true;
}

QVector<QVariant> SqlDataSet::windowKey(const QVector<QVariant> &row) const
{
    QVector<QVariant> key;
    for (int c : m_windows->orderColumns)
        key.append(row.value(c));
    return key;
}

QVector<QVector<QVariant>> SqlDataSet::readWindow(Window which, int rows)
{
    const bool backwards = which == Window::Before || which == Window::Last;
    QString sql = m_windows->select;
    QVector<QVariant> binds;
    if (which == Window::After || which == Window::Before) {
        binds = which == Window::After ? m_windows->lastKey : m_windows->firstKey;
        QStringList marks;
        for (int i = 1; i <= binds.size(); ++i)
            marks.append(engine().writeMark(i));
        sql += QStringLiteral(" WHERE (%1) %2 (%3)")
                   .arg(m_windows->orderSql.join(u','), backwards ? QStringLiteral("<") : QStringLiteral(">"),
                        marks.join(u','));
    }
    QStringList order;
    for (const QString &column : m_windows->orderSql)
        order.append(backwards ? column + QStringLiteral(" DESC") : column);
    // One arg() call: a "%" in a column's name stays as it is.
    sql += QStringLiteral(" ORDER BY %1 LIMIT %2").arg(order.join(u','), QString::number(rows));

    yieldConnection();
    ResultColumns columns;
    QVector<QVector<QVariant>> window = engine().read(sql, binds, m_columns.names.isEmpty() ? &columns : nullptr);
    if (m_columns.names.isEmpty())
        takeColumns(columns);
    if (backwards)
        std::reverse(window.begin(), window.end());
    return window;
}

void SqlDataSet::fetchWindowAfter(int rows)
{
    const bool first = m_windows->lastKey.isEmpty();
    QVector<QVector<QVariant>> window = readWindow(first ? Window::First : Window::After, rows);
    if (window.size() < rows)
        m_fetchedAll = true;
    if (window.isEmpty())
        return;
    if (first)
        m_windows->firstKey = windowKey(window.front());
    m_windows->lastKey = windowKey(window.back());
    for (QVector<QVariant> &row : window)
        m_rows.insert(m_rows.size(), std::move(row));
}

// Both jumps read their window before they drop the rows shown: when the
// engine refuses, the grid keeps what it had.
void SqlDataSet::jumpToFirst(int rows)
{
    if (!m_windows) {
        jumpResultToFirst(rows);
        return;
    }
    QVector<QVector<QVariant>> window = readWindow(Window::First, rows);
    m_rowsBefore = false;
    m_fetchedAll = window.size() < rows;
    replaceRows(std::move(window));
}

void SqlDataSet::jumpToLast(int rows)
{
    if (!m_windows) {
        jumpResultToLast(rows);
        return;
    }
    QVector<QVector<QVariant>> window = readWindow(Window::Last, rows);
    m_rowsBefore = window.size() == rows;
    m_fetchedAll = true;
    replaceRows(std::move(window));
}

void SqlDataSet::replaceRows(QVector<QVector<QVariant>> window)
{
    m_rows.clear();
    m_windows->firstKey.clear();
    m_windows->lastKey.clear();
    if (!window.isEmpty()) {
        m_windows->firstKey = windowKey(window.front());
        m_windows->lastKey = windowKey(window.back());
    }
    for (QVector<QVariant> &row : window)
        m_rows.insert(m_rows.size(), std::move(row));
    Q_EMIT reset();
}

int SqlDataSet::fetchBefore(int rows)
{
    if (!canFetchBefore())
        return 0;
    if (!m_windows)
        return fetchResultBefore(rows);
    QVector<QVector<QVariant>> window = readWindow(Window::Before, rows);
    if (window.size() < rows)
        m_rowsBefore = false;
    if (window.isEmpty())
        return 0;
    m_windows->firstKey = windowKey(window.front());
    return placeRowsBefore(std::move(window));
}

int SqlDataSet::placeRowsBefore(QVector<QVector<QVariant>> window)
{
    int added = 0;
    for (QVector<QVariant> &row : window) {
        if (m_rows.insert(added, std::move(row)))
            ++added;
    }
    return added;
}

} // namespace rux
