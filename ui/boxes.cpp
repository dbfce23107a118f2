#include "ui/boxes.h"

#include "ui/program.h"

#include <QDialog>
#include <QPushButton>
#include <QScreen>

namespace rux {

int execCentred(QDialog &dialog)
{
    QWidget *over = dialog.parentWidget() ? dialog.parentWidget()->window() : Program::instance().mainWindow();
    // Modal before it shows: exec() cannot make a dialog that is visible
    // already modal any more, and every other window would stay live.
    dialog.setWindowModality(Qt::ApplicationModal);
    // Shown first, the box takes its final size (a message box sizes
    // itself to its text only then), and is placed before it is painted.
    dialog.show();
    if (over && over->isVisible()) {
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(over->frameGeometry().center());
        if (const QScreen *screen = over->screen()) {
            const QRect room = screen->availableGeometry();
            frame.moveLeft(qBound(room.left(), frame.left(), qMax(room.left(), room.right() - frame.width())));
            frame.moveTop(qBound(room.top(), frame.top(), qMax(room.top(), room.bottom() - frame.height())));
        }
        dialog.move(frame.topLeft());
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
