#include "tests/support/pooltraffic.h"

#include "tests/support/otherconnection.h"

#include <chrono>

namespace rux::test {

PoolTraffic::PoolTraffic(const QString &uri)
{
    m_thread = std::thread([this, uri]() {
        // A connection of the thread's own, made and used there.
        OtherConnection client(uri);
        if (!client.error().isEmpty())
            qWarning("the second client of the pooled database could not connect: %s", qPrintable(client.error()));
        while (!m_stop.load() && client.error().isEmpty()) {
            // Three round trips in one transaction: the server session stays
            // with this client meanwhile.
            client.run({QStringLiteral("BEGIN"), QStringLiteral("SELECT pg_sleep(0.002)"), QStringLiteral("COMMIT")});
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
}

PoolTraffic::~PoolTraffic()
{
    m_stop = true;
    m_thread.join();
}

} // namespace rux::test
