#include "exec/runwatch.h"

#include "exec/runstop.h"

#include <chrono>
#include <csignal>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace rux {

namespace {

// How often a statement is interrupted again while the run has not seen
// its stop.
constexpr qint64 kRepeatMs = 100;

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
    const sigset_t set = endingSignals();
    m_signalFd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this]() { watch(); });
}

RunWatch::~RunWatch()
{
    m_quit.store(true);
    wake();
    m_thread.join();
    for (const int fd : {m_signalFd, m_wakeFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void RunWatch::wake()
{
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0)
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void RunWatch::arm()
{
    if (m_timeoutMs > 0) {
        m_deadline.store(nowMs() + m_timeoutMs);
        wake();
    }
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
    wake();
}

void RunWatch::watch()
{
    while (!m_quit.load()) {
        // Asleep until a signal, a change of the limit or the end; awake
        // at the limit, and every little while as long as a stop from
        // outside has not been seen by the run.
        const qint64 now = nowMs();
        const qint64 deadline = m_deadline.load();
        const bool repeating = m_running.load() && m_stop.pending() && m_stop.cause() != StopCause::User;
        qint64 waitMs = -1;
        // Past the limit the watch looks again now and then: a new run
        // forgets a limit that ran out, and is to be told again.
        if (deadline > 0)
            waitMs = deadline > now ? deadline - now : kRepeatMs;
        if (repeating)
            waitMs = waitMs < 0 ? kRepeatMs : qMin(waitMs, kRepeatMs);
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        ::poll(fds, 2, int(qMin<qint64>(waitMs, 24 * 3600 * 1000)));
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
        }
        signalfd_siginfo info;
        if ((fds[0].revents & POLLIN) && ::read(m_signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
            m_stop.end(StopCause::Signal, int(info.ssi_signo));
            if (m_signalled)
                m_signalled(int(info.ssi_signo));
            continue;
        }
        const qint64 limit = m_deadline.load();
        if (limit > 0 && nowMs() >= limit && m_stop.cause() != StopCause::Signal
            && m_stop.cause() != StopCause::Timeout) {
            // Again after a new run forgot it: the limit holds while it is
            // armed.
            m_stop.end(StopCause::Timeout);
        } else if (repeating) {
            m_stop.interruptAgain();
        }
    }
}

} // namespace rux
