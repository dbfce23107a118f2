#include "db/keepalive.h"

#include <QElapsedTimer>

namespace rux::keepalive {

namespace {

struct State
{
    std::function<void()> pump;
    QElapsedTimer clock;
    qint64 lastEventsMs = 0;
    unsigned calls = 0;
    bool inPump = false;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

void install(std::function<void()> pump)
{
    State &s = state();
    s.pump = std::move(pump);
    s.clock.start();
    s.lastEventsMs = 0;
}

bool installed()
{
    return bool(state().pump);
}

bool pumping()
{
    return state().inPump;
}

void eventsProcessed()
{
    State &s = state();
    if (s.pump)
        s.lastEventsMs = s.clock.elapsed();
}

void tick()
{
    State &s = state();
    // Reading the clock on every row of a large export would cost more
    // than the row; every 64th call is often enough.
    if (!s.pump || (++s.calls & 63u) != 0)
        return;
    check();
}

void check()
{
    State &s = state();
    if (!s.pump || s.inPump || s.clock.elapsed() - s.lastEventsMs < kAfterMs)
        return;
    s.inPump = true;
    // Called from inside the engine (C code): nothing may be thrown
    // through it. The pump only repaints; a failure there has nobody to
    // report to and does not concern the statement.
    try {
        s.pump();
    } catch (...) {
    }
    s.inPump = false;
    s.lastEventsMs = s.clock.elapsed();
}

} // namespace rux::keepalive
