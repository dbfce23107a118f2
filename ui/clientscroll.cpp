#include "ui/clientscroll.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace rux {

namespace {

// The frame a window manager puts around a window, before the window shows
// and its own is known: a title bar and thin borders.
constexpr QMargins kUsualFrame(4, 28, 4, 4);

// A window nobody sees (the offscreen and minimal platforms) keeps its
// size: there is no screen it would have to fit.
bool onRealScreen()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

ClientScroller::ClientScroller(QWidget *window, QSize layout)
    : QObject(window), m_window(window), m_layout(layout)
{
    m_horizontal = new QScrollBar(Qt::Horizontal, window);
    m_vertical = new QScrollBar(Qt::Vertical, window);
    // The square where the two bars meet.
    m_corner = new QWidget(window);
    m_corner->setAutoFillBackground(true);
    for (QWidget *part : {static_cast<QWidget *>(m_horizontal), static_cast<QWidget *>(m_vertical), m_corner})
        part->hide();
    m_horizontal->setSingleStep(20);
    m_vertical->setSingleStep(20);
    connect(m_horizontal, &QScrollBar::valueChanged, this,
            [this](int x) { scrollTo(QPoint(x, m_offset.y())); });
    connect(m_vertical, &QScrollBar::valueChanged, this,
            [this](int y) { scrollTo(QPoint(m_offset.x(), y)); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { reveal(now); });
    window->installEventFilter(this);
}

bool ClientScroller::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Resize:
        arrange();
        break;
    case QEvent::Show:
        if (!m_shown) {
            m_shown = true;
            fitIntoScreen();
        }
        break;
    case QEvent::Wheel:
        // A wheel turned where no control takes it scrolls the client area.
        if (m_vertical->isVisible())
            return QCoreApplication::sendEvent(m_vertical, event);
        if (m_horizontal->isVisible())
            return QCoreApplication::sendEvent(m_horizontal, event);
        break;
    default:
        break;
    }
    return false;
}

void ClientScroller::fitIntoScreen()
{
    if (!onRealScreen() || !m_window->screen())
        return;
    const QRect room = m_window->screen()->availableGeometry();
    const auto fit = [this, room](QMargins frame) {
        const QSize most(room.width() - frame.left() - frame.right(), room.height() - frame.top() - frame.bottom());
        const QSize size = m_window->size().boundedTo(most);
        QRect outer(m_window->pos(), size.grownBy(frame));
        if (size == m_window->size() && room.contains(outer))
            return;
        m_window->resize(size);
        outer.setSize(size.grownBy(frame));
        // Moved only as far as needed to lie inside the room.
        outer.moveLeft(qBound(room.left(), outer.left(), room.right() + 1 - outer.width()));
        outer.moveTop(qBound(room.top(), outer.top(), room.bottom() + 1 - outer.height()));
        m_window->move(outer.topLeft());
    };
    const QSize client = m_window->size();
    if (client.width() + kUsualFrame.left() + kUsualFrame.right() > room.width()
        || client.height() + kUsualFrame.top() + kUsualFrame.bottom() > room.height())
        fit(kUsualFrame);
    // Once the window manager has framed the window, its real frame counts.
    // The scroller lives as long as the window.
    QTimer::singleShot(300, this, [this, fit]() {
        QWindow *handle = m_window->windowHandle();
        if (m_window->isVisible() && handle && !handle->frameMargins().isNull())
            fit(handle->frameMargins());
    });
}

void ClientScroller::arrange()
{
    const QSize size = m_window->size();
    const int barWidth = m_vertical->sizeHint().width();
    const int barHeight = m_horizontal->sizeHint().height();
    bool across = size.width() < m_layout.width();
    bool down = size.height() < m_layout.height();
    // One bar takes room the other direction may then lack.
    down = down || (across && size.height() - barHeight < m_layout.height());
    across = across || (down && size.width() - barWidth < m_layout.width());
    const int viewWidth = size.width() - (down ? barWidth : 0);
    const int viewHeight = size.height() - (across ? barHeight : 0);

    m_horizontal->setGeometry(0, viewHeight, viewWidth, barHeight);
    m_horizontal->setPageStep(qMax(1, viewWidth));
    m_horizontal->setRange(0, across ? m_layout.width() - viewWidth : 0);
    m_vertical->setGeometry(viewWidth, 0, barWidth, viewHeight);
    m_vertical->setPageStep(qMax(1, viewHeight));
    m_vertical->setRange(0, down ? m_layout.height() - viewHeight : 0);
    m_corner->setGeometry(viewWidth, viewHeight, barWidth, barHeight);
    m_horizontal->setVisible(across);
    m_vertical->setVisible(down);
    m_corner->setVisible(across && down);
    for (QWidget *part : {static_cast<QWidget *>(m_horizontal), static_cast<QWidget *>(m_vertical), m_corner})
        part->raise();
    // The range keeps each value within it; without a bar the area is not
    // scrolled.
    scrollTo(QPoint(m_horizontal->value(), m_vertical->value()));
}

void ClientScroller::scrollTo(QPoint offset)
{
    const QPoint delta = offset - m_offset;
    if (delta.isNull())
        return;
    m_offset = offset;
    for (QObject *child : m_window->children()) {
        auto *control = qobject_cast<QWidget *>(child);
        if (!control || control->isWindow() || control == m_horizontal || control == m_vertical
            || control == m_corner)
            continue;
        control->move(control->pos() - delta);
    }
}

void ClientScroller::reveal(QWidget *focused)
{
    if (!focused || focused->window() != m_window || focused == m_window
        || !(m_horizontal->isVisible() || m_vertical->isVisible()))
        return;
    const QRect view(0, 0, m_horizontal->isVisible() ? m_horizontal->width() : m_window->width(),
                     m_vertical->isVisible() ? m_vertical->height() : m_window->height());
    const QRect control(focused->mapTo(m_window, QPoint(0, 0)), focused->size());
    if (view.contains(control))
        return;
    // The least scrolling that shows the control, its top left corner
    // first when it is larger than the view.
    const auto shift = [](int start, int length, int viewLength) {
        if (start < 0 || length > viewLength)
            return start;
        return qMax(0, start + length - viewLength);
    };
    m_horizontal->setValue(m_offset.x() + shift(control.left(), control.width(), view.width()));
    m_vertical->setValue(m_offset.y() + shift(control.top(), control.height(), view.height()));
}

} // namespace rux
