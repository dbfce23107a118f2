// The jumps of SqlDataSet on a result read through its cursor, on an
// engine that counts a result's rows and skips the rows before a row on its
// side (PostgreSQL): Ctrl+End reads only the last window, and scrolling up
// from there the windows before it, so that the last of a million rows is
// at hand at once and the cache holds only what was shown.

#include "db/sqldataset.h"

#include "db/adoconnection.h"

namespace rux {

QVector<QVector<QVariant>> SqlDataSet::readResultRows(qint64 from, qint64 to)
{
    QVector<QVector<QVariant>> rows;
    if (from >= to || !m_cursor->jumpTo(from))
        return rows;
    for (qint64 row = from;;) {
        rows.append(readCursorRow());
        if (++row >= to || !m_cursor->moveTo(row))
            break;
    }
    m_rowsSeen = qMax(m_rowsSeen, from + rows.size());
    return rows;
}

// Both jumps read their window before they drop the rows shown: when the
// engine refuses, the grid keeps what it had.
void SqlDataSet::jumpResultToFirst(int rows)
{
    if (!m_cursor)
        return;
    m_connection->announceStatement(this);
    QVector<QVector<QVariant>> window = readResultRows(0, rows);
    m_rows.clear();
    for (QVector<QVariant> &row : window)
        m_rows.insert(m_rows.size(), std::move(row));
    m_cursorFirst = 0;
    m_cursorRowsCached = window.size();
    m_rowsBefore = false;
    m_fetchedAll = window.size() < rows;
    Q_EMIT reset();
}

void SqlDataSet::jumpResultToLast(int rows)
{
    if (!m_cursor)
        return;
    m_connection->announceStatement(this);
    const qint64 count = m_cursor->result().countRows();
    if (count < 0) {
        // Not to be counted: read on to the end.
        while (canFetchMore())
            fetchMore(rows);
        Q_EMIT reset();
        return;
    }
    const qint64 first = qMax<qint64>(0, count - rows);
    QVector<QVector<QVariant>> window = readResultRows(first, count);
    m_rows.clear();
    for (QVector<QVariant> &row : window)
        m_rows.insert(m_rows.size(), std::move(row));
    m_cursorFirst = first;
    m_cursorRowsCached = first + window.size();
    m_rowsBefore = first > 0;
    // Rows added meanwhile show after a refresh, as in a table.
    m_fetchedAll = true;
    Q_EMIT reset();
}

int SqlDataSet::fetchResultBefore(int rows)
{
    if (!m_cursor || m_cursorFirst <= 0) {
        m_rowsBefore = false;
        return 0;
    }
    m_connection->announceStatement(this);
    const qint64 first = qMax<qint64>(0, m_cursorFirst - rows);
    QVector<QVector<QVariant>> window = readResultRows(first, m_cursorFirst);
    // A read further on starts again where it is wanted, not from here.
    m_cursor->pause();
    m_cursorFirst = first;
    m_rowsBefore = first > 0;
    return placeRowsBefore(std::move(window));
}

} // namespace rux
