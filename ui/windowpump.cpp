#include "ui/windowpump.h"

#include "db/keepalive.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QWidget>

namespace rux {

WindowPump &WindowPump::instance()
{
    static WindowPump pump;
    return pump;
}

void WindowPump::install()
{
    if (m_installed)
        return;
    m_installed = true;
    // A zero timer, not a posted call: timers wait while a statement runs,
    // posted calls would not.
    m_replay.setSingleShot(true);
    m_replay.setInterval(0);
    connect(&m_replay, &QTimer::timeout, this, &WindowPump::replay);
    if (QAbstractEventDispatcher *events = QAbstractEventDispatcher::instance()) {
        connect(events, &QAbstractEventDispatcher::awake, this, &keepalive::eventsProcessed);
        connect(events, &QAbstractEventDispatcher::aboutToBlock, this, &keepalive::eventsProcessed);
    }
    qApp->installEventFilter(this);
    keepalive::install([this]() { pump(); });
}

void WindowPump::pump()
{
    if (m_beforePump)
        m_beforePump();
    // Input is taken from the window system, so that it never piles up
    // there to be handled after the statement; the filter drops it.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
}

void WindowPump::defer(std::function<void()> action)
{
    m_deferred.push_back(std::move(action));
    m_replay.start();
}

void WindowPump::replay()
{
    std::vector<std::function<void()>> actions;
    actions.swap(m_deferred);
    for (const auto &action : actions)
        action();
}

bool WindowPump::eventFilter(QObject *watched, QEvent *event)
{
    if (!keepalive::pumping())
        return false;
    const QEvent::Type type = event->type();
    // Whether a shortcut is meant is asked of the widget with the focus; the
    // answer starts nothing.
    if (type == QEvent::ShortcutOverride)
        return false;
    if (event->isInputEvent() || type == QEvent::InputMethod || type == QEvent::Shortcut
        || type == QEvent::ContextMenu) {
        // Input, or input a widget makes of other input: dropped, but what
        // the stop controls take.
        return !(m_passing && m_passing(watched, event));
    }
    if (type == QEvent::Close) {
        if (m_passing && m_passing(watched, event))
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->isWindow()) {
            // The window stays until the statement has ended; then it is
            // closed as asked, and its close handler runs then.
            event->ignore();
            QPointer<QWidget> window(widget);
            defer([window]() {
                if (window)
                    window->close();
            });
            return true;
        }
    }
    return false;
}

} // namespace rux
