#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace rux {

// Keeps the windows alive while a statement runs: installed as the
// engine's keep-alive (db/keepalive.h) on a screen, it lets the windows
// repaint and answer the desktop (an are-you-alive ping, a window uncovered)
// every so often while the engine works or waits for another program's
// lock.
//
// Nothing that could start a handler runs meanwhile, so no handler runs
// nested inside a statement: timers and sockets wait, and input is dropped,
// never taken up afterwards as a command. Only the input that the stop
// controls take (setPassing) goes through. A request to close another
// window, and anything else deferred with defer(), is taken up once the
// statement has ended, the next time events are processed.
class WindowPump : public QObject
{
    Q_OBJECT
public:
    static WindowPump &instance();

    // Becomes the engine's keep-alive and starts watching events.
    void install();
    // Runs before each pump (the main window marks the batch that runs).
    void setBeforePump(std::function<void()> beforePump) { m_beforePump = std::move(beforePump); }
    // Tells, for an input event or a window's close request that arrives
    // while a statement runs, whether it goes on to its receiver: the stop
    // controls' own, which only ask the run to stop.
    using Passing = std::function<bool(QObject *receiver, QEvent *event)>;
    void setPassing(Passing passing) { m_passing = std::move(passing); }

    // Runs `action` after the statement, when events are processed again.
    void defer(std::function<void()> action);

    // One pump, as the engine's keep-alive calls it.
    void pump();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    WindowPump() = default;
    void replay();

    std::function<void()> m_beforePump;
    Passing m_passing;
    std::vector<std::function<void()>> m_deferred;
    QTimer m_replay;
    bool m_installed = false;
};

} // namespace rux
