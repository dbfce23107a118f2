#pragma once

// Test helper: a second client of a pooled database. A thread of its own
// makes short transactions on it, one after another, each holding one of the
// pooler's server sessions for a moment, until the helper is destroyed: the
// client under test meets another server session from one transaction to
// the next, as it does at a site where many stations share the server.

#include <QString>

#include <atomic>
#include <thread>

namespace rux::test {

class PoolTraffic
{
public:
    explicit PoolTraffic(const QString &uri);
    ~PoolTraffic();
    PoolTraffic(const PoolTraffic &) = delete;
    PoolTraffic &operator=(const PoolTraffic &) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace rux::test
