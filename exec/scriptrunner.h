#pragma once

#include <QString>

#include <functional>

namespace rux {

class AdoQuery;
class ExportStaging;
class RunLog;
class RunStop;
class ScriptLines;
class TableEditing;
struct BatchRecord;

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
    // What a batch did, when it has ended (failed or not). May be left
    // empty.
    std::function<void(const BatchRecord &)> batchEnded;
    // Each batch is written to the run log; null: no log.
    RunLog *log = nullptr;
    // The whole run is one transaction (not on a read-only engine).
    bool singleTransaction = false;
    // The files the run log must not be: the loaded script's, the
    // database's (empty when there is none).
    QString scriptFile;
    QString databaseFile;
    // The user's request to stop the run; null: the run cannot be stopped.
    // The run looks at it before every batch, after a failure, after a
    // table editing and at every row of an export; a failure caused by the
    // stop (an interrupted statement) ends the run as stopped, also in a
    // protected batch.
    const RunStop *stop = nullptr;
};

// Runs the script in the editor batch by batch. Lines are read from the
// editor when the run reaches them. A batch ends at a line reading "go";
// a batch in which a statement line mentions "drop" runs with its failures
// dropped; any other failure ends the run and leaves the query holding the
// failed batch. A trailing batch without "go" stays open for the grid.
//
// An export to a regular file is written beside its target and put in
// place when the batch has succeeded: a failed or stopped batch leaves the
// target as it was. Devices and pipes are written directly.
//
// Before anything runs, the run makes the checks of runcheck.h. With
// `singleTransaction` the run is one transaction, committed at its end
// (a script holding "edit_table" or a transaction statement is refused); each
// protected batch runs in a savepoint, so its dropped failure spoils
// nothing; export files wait beside their targets and replace them at the
// commit. Any other failure takes everything back, the export files
// included.
void runScript(const RunContext &context);

// Runs the batch held in the query: takes out an export clause, classifies
// the batch as a data change or not, runs it by ExecSQL, Open or the table
// editing, and writes the export file when the batch named one (into the
// file `staging` gives for it, when given). What it did goes to `record`.
void sql_execute(const RunContext &context, BatchRecord *record = nullptr,
                 ExportStaging *staging = nullptr);

} // namespace rux
