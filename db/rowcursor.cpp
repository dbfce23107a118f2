#include "db/rowcursor.h"

#include "db/keepalive.h"

namespace rux {

bool RowCursor::moveTo(qint64 row)
{
    if (m_paused || (m_atEnd ? row <= m_row : row < m_row)) {
        m_paused = false;
        m_row = m_result->restart(row);
        m_atEnd = false;
    }
    while (m_row < row) {
        if (m_atEnd)
            return false;
        keepalive::tick();
        if (!m_result->next()) {
            m_atEnd = true;
            return false;
        }
        ++m_row;
    }
    return !m_atEnd;
}

bool RowCursor::jumpTo(qint64 row)
{
    m_paused = true;
    return moveTo(row);
}

bool RowCursor::pause()
{
    if (m_paused || m_atEnd)
        return false;
    m_paused = m_result->pause();
    return m_paused;
}

void RowCursor::rerun()
{
    m_row = m_result->rerun();
    m_atEnd = false;
    m_paused = false;
}

} // namespace rux
