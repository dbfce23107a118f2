#pragma once

#include <functional>

namespace rux::keepalive {

// Long engine work must not freeze the windows: while a statement runs,
// the engine's callbacks (SQLite's progress and busy handlers, the wait on
// a server's socket, the steps of a cursor) call tick(). When the windows
// have not processed their events for kAfterMs, tick() calls the function
// the program installed, which lets them repaint and answer the desktop
// without handling any input. Without an installed function (no screen)
// tick() costs next to nothing and does nothing.

// Short enough that a stop asked for in the windows takes effect at once.
constexpr int kAfterMs = 25;

void install(std::function<void()> pump);
bool installed();

// The installed function is running: whatever happens now happens in the
// middle of a statement, and must not use the database.
bool pumping();

// The windows processed their events just now (the event loop woke up or
// is about to wait).
void eventsProcessed();

// Called often while the engine works; looks at the clock every few calls.
void tick();
// The same, looking at the clock at once (a busy wait between sleeps).
void check();

} // namespace rux::keepalive
