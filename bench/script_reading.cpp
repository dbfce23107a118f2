// What an unattended run does with its script before the first statement,
// in one process without a window: the arguments read into the parameter
// grid, the script loaded into the line store with its "%rid%" replaced
// and its names listed, the parameters put in twice, and the run's checks
// before it runs, which cut the batches and read their export clauses.
//
//   bench_script_reading SQL=script ['$name=value' ...] [ERR_P=id]
//
// The suite compares the wall time of this process with that of
// `rux_ppp --check` on the same arguments. Prints the script's line count.

#include "exec/cmdline.h"
#include "exec/runcheck.h"
#include "script/discovery.h"
#include "script/failure.h"
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
        std::printf("lines=%d\n", lines.lineCount());
    } catch (const rux::Failure &failure) {
        std::fprintf(stderr, "bench_script_reading: %s\n", failure.text().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
