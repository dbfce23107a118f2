#pragma once

#include <QByteArray>

#include <csignal>
#include <cstddef>

namespace rux {

// While it lives, the signals that end a process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) remove the file `path` first; the handlers in place before come
// back afterwards. One file at a time.
class RemovedOnSignal
{
public:
    explicit RemovedOnSignal(const QByteArray &path);
    ~RemovedOnSignal();
    RemovedOnSignal(const RemovedOnSignal &) = delete;
    RemovedOnSignal &operator=(const RemovedOnSignal &) = delete;

    static constexpr size_t kSignals = 4;

    // From now on the same signals wait until the process ends (they are
    // blocked): the file has been put in place, and a signal must not end
    // the process as if it had failed. The pending ones are dropped when
    // the process exits; a failure before then may let them go again
    // (releaseSignals), and the file is removed as usual.
    static void holdSignals();
    static void releaseSignals();

private:
    struct sigaction m_before[kSignals] = {};
    bool m_armed = false;
};

} // namespace rux
