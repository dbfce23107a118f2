#pragma once

#include "db/engine.h"

#include <memory>

namespace rux {

// The rows of an open statement, numbered from 0 and read forward. Going
// back to an earlier row, or on after a pause, runs the statement again
// and reads forward to the row asked for. Nothing is kept: a large result
// costs the same memory as a small one.
class RowCursor
{
public:
    explicit RowCursor(std::unique_ptr<EngineResult> result) : m_result(std::move(result)) {}

    const ResultColumns &columns() const { return m_result->columns(); }
    EngineResult &result() { return *m_result; }

    // Stands on row `row`; false when the statement has no such row.
    bool moveTo(qint64 row);
    // The same, far from where it stands: the statement runs again from
    // that row (on an engine that skips the rows before it on its side)
    // rather than reading on to it.
    bool jumpTo(qint64 row);
    // Values of the row stood on.
    QVariant value(int column) const { return m_result->value(column); }
    void appendAnsi(int column, QChar decimalPoint, QByteArray &out) const
    {
        m_result->appendAnsi(column, decimalPoint, out);
    }
    // Gives up a read left part-way, and with it any lock it holds; the
    // next move runs the statement again. False when nothing was given up
    // (the rows have all been read, or the engine holds them itself).
    bool pause();
    // The statement runs anew: the rows read next are those the database
    // holds now.
    void rerun();

private:
    std::unique_ptr<EngineResult> m_result;
    qint64 m_row = -1;
    bool m_atEnd = false;
    bool m_paused = false;
};

} // namespace rux
