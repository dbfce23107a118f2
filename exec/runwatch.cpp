#include "exec/runwatch.h"

#include "exec/runstop.h"

#include <chrono>
#include <csignal>
#include <ctime>

namespace rux {

namespace {

// How often the watch looks at its clock and its quit flag, and interrupts
// a statement again while the run has not seen its stop.
constexpr qint64 kTickMs = 100;

sigset_t endingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void RunWatch::blockEndingSignals()
{
    const sigset_t set = endingSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

RunWatch::RunWatch(RunStop &stop, qint64 timeoutMs, std::function<void(int)> signalled)
    : m_stop(stop), m_timeoutMs(timeoutMs), m_signalled(std::move(signalled))
{
    m_thread = std::thread([this]() { watch(); });
}

RunWatch::~RunWatch()
{
    m_quit.store(true);
    m_thread.join();
}

void RunWatch::arm()
{
    if (m_timeoutMs > 0)
        m_deadline.store(nowMs() + m_timeoutMs);
}

void RunWatch::armForProgram()
{
    m_forProgram = true;
    m_running.store(true);
    arm();
}

void RunWatch::runBegins()
{
    if (m_forProgram)
        return;
    m_running.store(true);
    arm();
}

void RunWatch::runEnds()
{
    if (m_forProgram)
        return;
    m_running.store(false);
    m_deadline.store(0);
}

void RunWatch::watch()
{
    const sigset_t set = endingSignals();
    while (!m_quit.load()) {
        const timespec wait{0, long(kTickMs * 1000 * 1000)};
        const int signalNumber = ::sigtimedwait(&set, nullptr, &wait);
        if (signalNumber > 0) {
            m_stop.end(StopCause::Signal, signalNumber);
            if (m_signalled)
                m_signalled(signalNumber);
            continue;
        }
        const qint64 deadline = m_deadline.load();
        if (deadline > 0 && nowMs() >= deadline && m_stop.cause() != StopCause::Signal
            && m_stop.cause() != StopCause::Timeout) {
            // Again after a new run forgot it: the limit holds while it is
            // armed.
            m_stop.end(StopCause::Timeout);
        } else if (m_running.load() && m_stop.pending() && m_stop.cause() != StopCause::User) {
            m_stop.interruptAgain();
        }
    }
}

} // namespace rux
