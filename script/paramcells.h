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
// The grid's row count: the header row 0 and the visible parameter rows 1
// to 5. Rules that look at "rows 1 to the row count" read rows 1 to 6, so
// they take in one row past the visible ones.
constexpr int kGridRowCount = 6;

} // namespace rux

namespace rux {

// The failure text when a command line or a script would need more than
// kMaxParamRows parameter rows.
inline QString tooManyParametersText()
{
    return QStringLiteral("Zu viele Parameter: die Parametertabelle fasst höchstens %1 Zeilen")
        .arg(kMaxParamRows);
}

} // namespace rux
