#include "ui/boxes.h"

#include "ui/program.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <optional>

namespace rux {

namespace {

void centreOver(QDialog &dialog, const QWidget *over)
{
    QRect frame = dialog.frameGeometry();
    frame.moveCenter(over->frameGeometry().center());
    if (const QScreen *screen = over->screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(qBound(room.left(), frame.left(), qMax(room.left(), room.right() - frame.width())));
        frame.moveTop(qBound(room.top(), frame.top(), qMax(room.top(), room.bottom() - frame.height())));
    }
    dialog.move(frame.topLeft());
}

// A box shown while the window it stands over is still being placed by the
// window manager (a failure at start-up) follows it to its place. Only in
// the box's first moments: the box's own position then says nothing (the
// window manager frames it), and later the user may have moved either.
class FollowWindow : public QObject
{
public:
    FollowWindow(QDialog &dialog, QWidget *over) : m_dialog(dialog), m_over(over)
    {
        m_shown.start();
        over->installEventFilter(this);
    }
    ~FollowWindow() override
    {
        if (m_over)
            m_over->removeEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_over && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            && m_shown.elapsed() < kPlacingMs)
            centreOver(m_dialog, m_over);
        return false;
    }

private:
    // How long a window manager may take to place a window.
    static constexpr qint64 kPlacingMs = 2000;
    QDialog &m_dialog;
    QPointer<QWidget> m_over;
    QElapsedTimer m_shown;
};

} // namespace

int execCentred(QDialog &dialog)
{
    QWidget *over = dialog.parentWidget() ? dialog.parentWidget()->window() : Program::instance().mainWindow();
    // Modal before it shows: exec() cannot make a dialog that is visible
    // already modal any more, and every other window would stay live.
    dialog.setWindowModality(Qt::ApplicationModal);
    // Shown first, the box takes its final size (a message box sizes
    // itself to its text only then), and is placed before it is painted.
    dialog.show();
    std::optional<FollowWindow> follow;
    if (over && over->isVisible()) {
        centreOver(dialog, over);
        follow.emplace(dialog, over);
    }
    return dialog.exec();
}

int showBox(QMessageBox::Icon icon, const QString &title, const QString &text,
            const QStringList &buttons, QWidget *parent)
{
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QList<QPushButton *> pressed;
    for (int i = 0; i < buttons.size(); ++i) {
        const bool last = i == buttons.size() - 1 && buttons.size() > 1;
        pressed.append(box.addButton(buttons[i], last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    if (!pressed.isEmpty()) {
        box.setDefaultButton(pressed.first());
        box.setEscapeButton(pressed.last());
    }
    execCentred(box);
    return int(pressed.indexOf(qobject_cast<QPushButton *>(box.clickedButton())));
}

} // namespace rux
