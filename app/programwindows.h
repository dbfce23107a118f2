#pragma once

// The program's two windows, made and wired to each other as the program
// starts them: the main window, the table editor on the main window's
// connection, and the record that decides when the main window's
// activation handler runs.

#include <QStringList>

#include <memory>

namespace rux {

class ActivationRecord;
class Tftabed;
class Trux_pp1;

struct ProgramWindows
{
    ProgramWindows();
    ProgramWindows(ProgramWindows &&) noexcept;
    ProgramWindows &operator=(ProgramWindows &&) noexcept;
    ~ProgramWindows();

    // Ends the windows: the record first, then the table editor, then the
    // main window whose connection the editor uses.
    void destroy();

    std::unique_ptr<Trux_pp1> main;
    std::unique_ptr<Tftabed> ftabed;
    std::unique_ptr<ActivationRecord> record;
};

// Whether the windows stay alive (repaint, answer the desktop) while a
// statement runs: on a screen they do.
enum class KeepAlive { None, WindowPump };

// Makes both windows, hands the main window the command-line arguments
// its start-up reads, and wires them: the table editor returns the focus
// to the main window, which then counts as entered; with the window pump,
// the main window marks the batch that runs while the windows are kept
// alive.
ProgramWindows createWindows(const QStringList &arguments, KeepAlive keepAlive);

// Keeps the windows alive while a statement runs (the window pump), the
// main window marking the batch that runs and taking the input that stops
// the run.
void keepWindowsAlive(ProgramWindows &windows);

} // namespace rux
