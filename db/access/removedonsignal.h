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

private:
    struct sigaction m_before[kSignals] = {};
    bool m_armed = false;
};

} // namespace rux
