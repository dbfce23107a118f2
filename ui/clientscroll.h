#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>

class QScrollBar;
class QWidget;

namespace rux {

// Keeps every control of a window of fixed layout within reach when the
// window is smaller than its layout: the window's client area then scrolls
// (scroll bars appear at its right and bottom edge, the wheel and the focus
// moving to a hidden control scroll it), and the controls keep their size.
// At its first show a window larger than the screen's available area is
// made to fit into that area. A window as large as its layout, or larger,
// shows no scroll bar, and every control stands where the layout puts it.
class ClientScroller : public QObject
{
    Q_OBJECT
public:
    // `window`'s children are placed for a client area of `layout` pixels.
    ClientScroller(QWidget *window, QSize layout);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitIntoScreen();
    void arrange();
    void scrollTo(QPoint offset);
    void reveal(QWidget *focused);

    QWidget *m_window;
    QSize m_layout;
    QScrollBar *m_horizontal;
    QScrollBar *m_vertical;
    QWidget *m_corner;
    QPoint m_offset;
    bool m_shown = false;
};

} // namespace rux
