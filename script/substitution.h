#pragma once

#include "script/paramcells.h"
#include "script/scriptlines.h"

#include <QList>

#include <functional>

namespace rux {

// Writes the parameter values into the script (Button3Click): for each row r
// from 1 to varCount, in order, every line that holds a "$" gets every
// occurrence of row r's name replaced by row r's value, ignoring letter case
// (replaceAllIgnoreCase); then processEvents runs. The line count is taken
// once at the start; each row's name and value are read when its pass starts,
// so handlers that processEvents runs between rows are seen by the next row.
// Nothing happens, and no events are processed, when varCount is 0.
// Throws Failure (tooManyParametersText) before changing anything when
// varCount is above kMaxParamRows.
//
// `linesDone`, when given, is called every few hundred lines of a pass: the
// windows are kept alive there, and a stop may end the substitution by
// throwing.
void substituteParameters(ScriptLines &editor, const ParamCells &grid, int varCount,
                          const std::function<void()> &processEvents,
                          const std::function<void()> &linesDone = {});

// A parameter name in a line, as the substitution will treat it.
struct ParameterMark
{
    qsizetype at = 0;     // where its "$" stands
    qsizetype length = 0; // the characters the substitution replaces, or
                          // the whole name when no row replaces it
    int row = 0;          // the row whose name matches there; 0: none
    bool filled = false;  // that row holds a value
};

// Each "$" of `line` and what the substitution with rows 1 to varCount
// does there: the first row whose name stands at the "$" (compared as the
// substitution compares) replaces it; without one the name stays in the
// SQL. A "$" inside a name already matched is part of it.
QList<ParameterMark> parameterMarks(const QString &line, const ParamCells &grid, int varCount);

// Empties the name and the value cells of rows 1 to 6 (Button5Click without
// its var_count := 0). Rows 7 and later keep their text.
void clearParameterRows(ParamCells &grid);

} // namespace rux
