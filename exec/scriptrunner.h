#pragma once

#include <functional>

namespace rux {

class AdoQuery;
class ScriptLines;
class TableEditing;

// What a script run works on: the editor's lines, the query, the "data
// change" check box, the table editing, and the window operations it
// triggers (the substitution button's click and the processing of pending
// events).
struct RunContext
{
    ScriptLines *editor = nullptr;
    AdoQuery *query = nullptr;
    TableEditing *tableEditing = nullptr;
    std::function<void()> clickSubstitute;
    std::function<void()> processEvents;
    std::function<void(bool)> setDataChange;
    std::function<bool()> dataChange;
    // The lines (first and last, counted from 0) of the batch that runs
    // now; -1, -1 when it has ended. May be left empty.
    std::function<void(int, int)> batchRuns;
};

// Runs the script in the editor batch by batch. Lines are read from the
// editor when the run reaches them. A batch ends at a line reading "go";
// a batch in which a statement line mentions "drop" runs with its failures
// dropped; any other failure ends the run and leaves the query holding the
// failed batch. A trailing batch without "go" stays open for the grid.
void runScript(const RunContext &context);

// Runs the batch held in the query: takes out an export clause, classifies
// the batch as a data change or not, runs it by ExecSQL, Open or the table
// editing, and writes the export file when the batch named one.
void sql_execute(const RunContext &context);

} // namespace rux
