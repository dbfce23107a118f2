#pragma once

#include "script/paramcells.h"

#include <QMap>
#include <QPair>

namespace rux {

// The parameter grid's cells held in memory, for work that has no window:
// the script check, the benchmark programs and the tests. Every cell can be
// written and read; a cell never written reads as empty.
class MemoryCells : public ParamCells
{
public:
    QString cell(int column, int row) const override { return m_cells.value({column, row}); }
    void setCell(int column, int row, const QString &text) override { m_cells[{column, row}] = text; }

    // Every cell written so far, by column and row.
    const QMap<QPair<int, int>, QString> &cells() const { return m_cells; }

private:
    QMap<QPair<int, int>, QString> m_cells;
};

} // namespace rux
