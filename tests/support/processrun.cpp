#include "tests/support/processrun.h"

#include <QElapsedTimer>

namespace rux::test {

ProcessOutcome runProcess(const ProcessRun &run)
{
    QProcess process;
    process.setProcessEnvironment(run.environment);
    if (!run.workingDirectory.isEmpty())
        process.setWorkingDirectory(run.workingDirectory);
    if (run.childSetup)
        process.setChildProcessModifier(run.childSetup);
    QElapsedTimer timer;
    timer.start();
    process.start(run.program, run.arguments);
    ProcessOutcome o;
    o.started = process.waitForStarted(run.timeoutMs);
    if (!o.started)
        return o;
    if (!run.input.isEmpty())
        process.write(run.input);
    process.closeWriteChannel();
    if (run.whileRunning)
        run.whileRunning(process);
    o.finished = process.waitForFinished(run.timeoutMs);
    if (!o.finished) {
        process.kill();
        process.waitForFinished(run.timeoutMs);
    }
    o.elapsedMs = timer.elapsed();
    o.crashed = process.exitStatus() != QProcess::NormalExit;
    o.exitCode = o.crashed ? -1 : process.exitCode();
    o.outBytes = process.readAllStandardOutput();
    o.errBytes = process.readAllStandardError();
    o.out = QString::fromLocal8Bit(o.outBytes);
    o.err = QString::fromLocal8Bit(o.errBytes);
    return o;
}

} // namespace rux::test
