#pragma once

#include "script/paramcells.h"

#include <QMap>
#include <QPair>
#include <QTableWidget>

namespace rux {

// The parameter grid: a string grid of 2 columns and 6 rows whose row 0 and
// column 0 are fixed (drawn as headers, not editable). Only the value cells
// of rows 1 to 5 can be edited, and what the user types is stored into the
// cell at once, even while the in-place editor is still open. Cells of rows
// beyond the last one can be written and read but are not shown.
class StringGrid : public QTableWidget, public ParamCells
{
    Q_OBJECT
public:
    explicit StringGrid(QWidget *parent = nullptr);

    QString cell(int column, int row) const override;
    void setCell(int column, int row, const QString &text) override;

private:
    QMap<int, QPair<QString, QString>> m_hiddenRows;
};

} // namespace rux
