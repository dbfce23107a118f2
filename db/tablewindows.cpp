// The reading of SqlDataSet by key: a table's rows in windows ordered by
// its rowid or primary key, each window a statement of its own that starts
// after (or, going back, before) the last key read and ends at once.

#include "db/sqldataset.h"

#include "db/adoconnection.h"
#include "db/valuetext.h"

#include <algorithm>

namespace rux {

void SqlDataSet::openWindows(const QString &select, const QString &from, int hiddenColumns,
                             const QVector<int> &orderColumns, const QStringList &orderSql)
{
    release();
    m_connection->ensureOpen();
    m_connection->announceStatement(this);
    m_windows = std::make_unique<Windows>();
    m_windows->select = select;
    m_windows->orderColumns = orderColumns;
    m_windows->orderSql = orderSql;
    m_windows->from = from;
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

QVector<QVector<QVariant>> SqlDataSet::readWindow(Window which, int rows, const QVector<QVariant> &fromKey,
                                                  qint64 offset)
{
    const bool backwards = which == Window::Before || which == Window::Last;
    QString sql = m_windows->select;
    QVector<QVariant> binds;
    if (which == Window::After || which == Window::Before || which == Window::From) {
        binds = which == Window::After ? m_windows->lastKey : which == Window::Before ? m_windows->firstKey : fromKey;
        QStringList marks;
        for (int i = 1; i <= binds.size(); ++i)
            marks.append(engine().writeMark(i));
        const QString comparison = which == Window::After ? QStringLiteral(">")
            : which == Window::Before                     ? QStringLiteral("<")
                                                          : QStringLiteral(">=");
        sql += QStringLiteral(" WHERE (%1) %2 (%3)").arg(m_windows->orderSql.join(u','), comparison, marks.join(u','));
    }
    QStringList order;
    for (const QString &column : m_windows->orderSql)
        order.append(backwards ? column + QStringLiteral(" DESC") : column);
    // One arg() call: a "%" in a column's name stays as it is.
    sql += QStringLiteral(" ORDER BY %1 LIMIT %2").arg(order.join(u','), QString::number(rows));
    if (which == Window::At && offset > 0)
        sql += QStringLiteral(" OFFSET ") + QString::number(offset);

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
    if (first)
        m_windows->start = 0;
    if (!window.isEmpty()) {
        if (first)
            m_windows->firstKey = windowKey(window.front());
        m_windows->lastKey = windowKey(window.back());
        for (QVector<QVariant> &row : window)
            m_rows.insert(m_rows.size(), std::move(row));
    }
    if (window.size() < rows) {
        // The end: the rows held are the last ones, which puts the first
        // of them right even where a read by key placed it by estimate.
        m_fetchedAll = true;
        Windows &w = *m_windows;
        if (w.count < w.start + m_rows.size())
            w.count = w.start + m_rows.size();
        else
            w.start = w.count - m_rows.size();
    }
}

// Both jumps read their window before they drop the rows shown: when the
// engine refuses, the grid keeps what it had.
void SqlDataSet::jumpToFirst(int rows)
{
    if (!m_windows) {
        jumpResultToFirst(rows);
        return;
    }
    countRows();
    readFirstWindow(rows);
}

void SqlDataSet::readFirstWindow(int rows)
{
    QVector<QVector<QVariant>> window = readWindow(Window::First, rows);
    m_rowsBefore = false;
    m_fetchedAll = window.size() < rows;
    m_windows->start = 0;
    replaceRows(std::move(window));
}

void SqlDataSet::jumpToLast(int rows)
{
    if (!m_windows) {
        jumpResultToLast(rows);
        return;
    }
    countRows();
    readLastWindow(rows);
}

void SqlDataSet::readLastWindow(int rows)
{
    QVector<QVector<QVariant>> window = readWindow(Window::Last, rows);
    m_rowsBefore = window.size() == rows;
    m_fetchedAll = true;
    m_windows->start = qMax<qint64>(0, m_windows->count - window.size());
    replaceRows(std::move(window));
}

void SqlDataSet::countRows()
{
    if (!m_windows)
        return;
    yieldConnection();
    const QVector<QVector<QVariant>> counted =
        engine().read(QStringLiteral("SELECT count(*) FROM ") + m_windows->from, {});
    if (!counted.isEmpty() && !counted.front().isEmpty())
        m_windows->count = counted.front().front().toLongLong();
}

std::optional<QVariant> SqlDataSet::keyNear(qint64 position, qint64 count)
{
    if (m_windows->orderSql.size() != 1 || m_windows->firstKey.size() != 1
        || !isIntegerType(m_windows->firstKey.front().typeId()))
        return std::nullopt;
    // Each bound alone, so that each comes from one end of the key's index.
    const QString key = m_windows->orderSql.front();
    yieldConnection();
    const QVector<QVector<QVariant>> bounds = engine().read(
        QStringLiteral("SELECT (SELECT min(%1) FROM %2),(SELECT max(%1) FROM %2)").arg(key, m_windows->from), {});
    if (bounds.isEmpty() || bounds.front().size() != 2 || !isIntegerType(bounds.front()[0].typeId())
        || !isIntegerType(bounds.front()[1].typeId()))
        return std::nullopt;
    const qint64 low = bounds.front()[0].toLongLong();
    const qint64 high = bounds.front()[1].toLongLong();
    if (count <= 1 || high <= low)
        return QVariant(low);
    const double share = double(position) / double(count - 1);
    return QVariant(low + qint64(double(high - low) * share));
}

// The window is read before the rows shown are dropped: when the engine
// refuses, the grid keeps what it had.
void SqlDataSet::readAt(qint64 position, int rows)
{
    if (!m_windows)
        return;
    countRows();
    const qint64 count = m_windows->count;
    if (position <= 0) {
        readFirstWindow(rows);
        return;
    }
    if (position + rows >= count) {
        readLastWindow(rows);
        return;
    }
    const std::optional<QVariant> key = keyNear(position, count);
    QVector<QVector<QVariant>> window =
        key ? readWindow(Window::From, rows, {*key}) : readWindow(Window::At, rows, {}, position);
    if (window.size() < rows) {
        readLastWindow(rows);
        return;
    }
    m_rowsBefore = true;
    m_fetchedAll = false;
    m_windows->start = position;
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
    if (window.isEmpty()) {
        m_windows->start = 0;
        return 0;
    }
    m_windows->firstKey = windowKey(window.front());
    const int added = placeRowsBefore(std::move(window));
    m_windows->start = m_rowsBefore ? qMax<qint64>(0, m_windows->start - added) : 0;
    return added;
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
