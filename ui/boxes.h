#pragma once

#include <QMessageBox>
#include <QStringList>

class QDialog;
class QWidget;

namespace rux {

// Runs `dialog` modally to the whole program, centred over the window it
// belongs to (its parent's window, else the main window) and kept on the
// screen. Returns what exec() returns.
int execCentred(QDialog &dialog);

// A message box in the program's one look: buttons that carry only their
// text, the first of them the default one and the last the one Escape
// presses, and a text that can be marked and copied. Modal to the whole
// program. Returns the index of the button pressed.
int showBox(QMessageBox::Icon icon, const QString &title, const QString &text,
            const QStringList &buttons, QWidget *parent);

} // namespace rux
