// What an unattended run does with its script apart from running its
// statements, in one process without a window: the arguments read into the
// parameter grid, the script loaded into the line store with its "%rid%"
// replaced and its names listed, the parameters put in twice, the run's
// checks before it runs, which cut the batches and read their export
// clauses, and the run's own loop, which cuts them again as it reaches
// their lines and reads each (its export, its path, its table) before
// the statement goes to the engine.
//
//   bench_script_reading SQL=script ['$name=value' ...] [ERR_P=id]
//
// The suite compares the wall time of this process with that of
// `rux_ppp --check` on the same arguments. Prints the script's line count
// and the number of batches the loop read, and of data changes among them.

#include "exec/batchcut.h"
#include "exec/batchtext.h"
#include "exec/cmdline.h"
#include "exec/runcheck.h"
#include "script/discovery.h"
#include "base/failure.h"
#include "script/linestore.h"
#include "script/memorycells.h"
#include "script/substitution.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    try {
        rux::MemoryCells grid;
        rux::StartupArguments read;
        rux::readStartupArguments(arguments, grid, read);
        rux::LineStore lines;
        rux::TextEncoding encoding = rux::TextEncoding::None;
        const int rows = rux::loadScript(read.scriptFile, read.runId, lines, grid, encoding);
        rux::substituteParameters(lines, grid, rows, nullptr);
        rux::substituteParameters(lines, grid, rows, nullptr);
        rux::RunCheck check;
        check.editor = &lines;
        check.scriptFile = read.scriptFile;
        rux::checkBeforeRun(check);
        // The loop: a batch's text is its statement lines each followed by
        // CR LF, as the query gathers them.
        int batches = 0;
        int changes = 0;
        const auto readLoopBatch = [&](const rux::CutBatch &batch) {
            ++batches;
            if (rux::readBatch(batch.text).path != rux::BatchPath::ResultSet)
                ++changes;
        };
        rux::BatchCutter cutter;
        for (int i = 0; i < lines.lineCount(); ++i) {
            if (cutter.take(i, lines.line(i)) == rux::LineKind::BatchEnd)
                readLoopBatch(cutter.batch());
        }
        if (cutter.finish())
            readLoopBatch(cutter.batch());
        std::printf("lines=%d batches=%d data_changes=%d\n", lines.lineCount(), batches, changes);
    } catch (const rux::Failure &failure) {
        std::fprintf(stderr, "bench_script_reading: %s\n", failure.text().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
