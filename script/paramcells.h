#pragma once

#include <QString>

namespace rux {

// The cells of the parameter grid: column 0 holds a name, column 1 a value.
// Row 0 is the header row. Rows past the visible ones keep what is written
// into them; a cell never written reads as empty.
class ParamCells
{
public:
    virtual ~ParamCells() = default;

    virtual QString cell(int column, int row) const = 0;
    virtual void setCell(int column, int row, const QString &text) = 0;
};

// The grid holds at most this many parameter rows (rows 1 to 10).
constexpr int kMaxParamRows = 10;
// The rows the grid counts: the header row and rows 1 to 6 (row 6 is the
// one below the five visible parameter rows).
constexpr int kGridRowCount = 6;

} // namespace rux
