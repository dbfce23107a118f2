#include "exec/runstop.h"

#include <csignal>

namespace rux {

namespace {

QString signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    default: return QStringLiteral("signal %1").arg(signalNumber);
    }
}

} // namespace

namespace {

// The stop being handled; null when the failure is no stop. Only inside a
// catch block, while the exception lives.
const RunStopped *stopBeingHandled()
{
    try {
        throw;
    } catch (const RunStopped &stop) {
        return &stop;
    } catch (...) {
        return nullptr;
    }
}

} // namespace

bool currentFailureIsStop()
{
    return stopBeingHandled() != nullptr;
}

StopCause currentStopCause()
{
    const RunStopped *stop = stopBeingHandled();
    return stop ? stop->cause() : StopCause::None;
}

int currentFailureStatus()
{
    const RunStopped *stop = stopBeingHandled();
    return stop ? stop->exitStatus() : 1;
}

void RunStop::request()
{
    m_user.store(true);
    interrupt();
}

void RunStop::end(StopCause cause, int signalNumber)
{
    m_signal.store(signalNumber);
    m_ending.store(int(cause));
    interrupt();
}

StopCause RunStop::cause() const
{
    if (const int ending = m_ending.load())
        return StopCause(ending);
    return m_user.load() ? StopCause::User : StopCause::None;
}

void RunStop::interrupt() const
{
    if (m_interrupt)
        m_interrupt();
}

QString RunStop::text(Point point, int line) const
{
    const StopCause stopCause = cause();
    QString what;
    switch (stopCause) {
    case StopCause::Timeout:
        what = QStringLiteral("The time limit of the run (--timeout=%1) ran out").arg(m_timeLimit);
        break;
    case StopCause::Signal:
        what = QStringLiteral("Ended by %1").arg(signalName(m_signal.load()));
        break;
    default:
        what = QStringLiteral("Stopped by the user");
        break;
    }
    switch (point) {
    case Point::AtLine:
        return QStringLiteral("%1 at line %2").arg(what).arg(line);
    case Point::InSubstitution:
        return what + QStringLiteral(" while the parameters were written into the script");
    case Point::BeforeCommit:
        return what + QStringLiteral(" before the run's transaction was committed; nothing was kept");
    }
    return what;
}

void RunStop::check(Point point, int line) const
{
    const StopCause stopCause = cause();
    if (stopCause == StopCause::None)
        return;
    m_seen.store(true);
    const int status = stopCause == StopCause::Signal ? 128 + m_signal.load() : 1;
    throw RunStopped(text(point, line), point == Point::AtLine ? line : 0, stopCause, status);
}

} // namespace rux
