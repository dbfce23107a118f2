#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>

namespace rux {

// The check of a script before it runs (--check): the script is read as an
// unattended run reads it, with the same arguments, and every batch is
// looked at for the failures that are certain before any database is
// opened. Nothing is opened, run or written.
//
// The reading is the run's own: the arguments fill the parameter grid as
// the start-up does (readStartupArguments), the script is loaded with its
// "%rid%" replaced and its names listed (loadScript), the parameters are
// put into it twice, as an unattended run does, and the batches are cut by
// the run's cutter (cutBatches) and read by its rules (readBatch). The
// database is never opened: its engine comes from the last "DB=" by the
// program's rule (engineKindOf; SQLite without one), and each statement is
// read by that engine's rules without a database (readOffline).
//
// The output, one line each, in UTF-8, fields as the run log writes them
// (RunLog::field):
//
//   batch=1 lines=1-3 end=go kind=result_set protected=no rows=yes export=out.txt unfilled=-
//   batch=2 lines=5-9 end=go kind=data_change protected=drop:7:12 rows=- export=- unfilled=$year,$site
//   fails batch=3 line=11 reason="near \"selct\": syntax error"
//   silenced batch=2 line=6 reason="..."
//   check outcome=fails engine=sqlite batches=3 failures=1 silenced=1
//
// first one line per batch, then one line per certain failure in the
// order of the batches ("fails"; "silenced" for one of a protected batch,
// which the run drops), then the last line. A failure that comes before
// the batches are read (more than ten parameters, a script that cannot be
// loaded) names no batch and no line ("-"), and no batch line is written.
struct ScriptCheck
{
    // 0 when nothing would fail, 1 when something would.
    int status = 0;
    // Why the check could not be made (no script named, a script file that
    // cannot be read, "GO" among the arguments); the output is then empty.
    QString unusable;
};

// Takes the output lines, each ended by "\n", a block of whole lines at a
// time as they are written.
using CheckOutput = std::function<void(QByteArrayView lines)>;

// Checks the script the arguments name (the program's own options taken
// out). `singleTransaction`: the run would have --single-transaction.
ScriptCheck checkScript(const QStringList &arguments, bool singleTransaction, const CheckOutput &write);

} // namespace rux
