#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <thread>

namespace rux {

class RunStop;

// Watches, on a thread of its own, for what ends a run from outside: the
// signals SIGTERM and SIGINT, and the time limit of --timeout. Either
// ends the run through its RunStop (the cause stays, so every place where
// the run looks at the stop sees it), which interrupts the statement that
// runs. Until the run has seen the stop, the statement is interrupted
// again every little while: one started just after the first interrupt is
// ended too.
class RunWatch
{
public:
    // Blocks SIGTERM and SIGINT in the calling thread, and so in every
    // thread it starts later: only the watch takes them. Call before any
    // other thread starts.
    static void blockEndingSignals();

    // `signalled` is called on the watch's thread when a signal came, after
    // the run was told; it may only post work to the program's thread.
    // `timeoutMs` 0: no time limit.
    RunWatch(RunStop &stop, qint64 timeoutMs, std::function<void(int)> signalled);
    ~RunWatch();
    RunWatch(const RunWatch &) = delete;
    RunWatch &operator=(const RunWatch &) = delete;

    // The time limit counts from now, for the rest of the program (an
    // unattended run: opening the database and loading the script count).
    void armForProgram();
    // A run in the window begins, and ends: the time limit counts from its
    // beginning to its end.
    void runBegins();
    void runEnds();

private:
    void watch();
    void arm();
    // Makes the watch look at its state again (the limit, the end).
    void wake();

    RunStop &m_stop;
    const qint64 m_timeoutMs;
    std::function<void(int)> m_signalled;
    // When the time runs out, in steady-clock milliseconds; 0: no limit
    // is counting.
    std::atomic<qint64> m_deadline{0};
    bool m_forProgram = false;
    // A run is in progress: only then is a statement interrupted again.
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_quit{false};
    // The signals, read as they come; and a counter that wakes the watch.
    int m_signalFd = -1;
    int m_wakeFd = -1;
    std::thread m_thread;
};

} // namespace rux
