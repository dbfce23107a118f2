#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace rux {

class RunLog;
class RunWatch;

// Program-wide state of the running process: its title, whether it runs
// without a screen, how many event handlers are running (nested ones
// included), a pending end request and the exit status.
//
// Every handler the event loop enters is run through guard(): a failure
// that leaves it is shown by the failure display and ends only that
// handler. An end request that arrives while handlers run is remembered;
// the program ends when the outermost handler has returned.
class Program
{
public:
    static Program &instance();

    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    bool headless() const { return m_headless; }
    void setHeadless(bool headless) { m_headless = headless; }
    // A person can work in the program's windows. Without a screen (the
    // offscreen and minimal platforms) nobody can: waiting for one would
    // never end.
    bool hasScreen() const { return m_hasScreen; }
    void setHasScreen(bool hasScreen) { m_hasScreen = hasScreen; }

    // The run log asked for on the command line; null when none is.
    RunLog *runLog() const { return m_runLog; }
    void setRunLog(RunLog *log) { m_runLog = log; }
    // The watch for signals and the time limit; null when there is none.
    RunWatch *runWatch() const { return m_runWatch; }
    void setRunWatch(RunWatch *watch) { m_runWatch = watch; }
    // Every script run is one transaction.
    bool singleTransaction() const { return m_singleTransaction; }
    void setSingleTransaction(bool single) { m_singleTransaction = single; }

    int exitStatus() const { return m_exitStatus; }
    void setExitStatus(int status) { m_exitStatus = status; }

    // Shows a failure: a modal error box over the active window; without a
    // screen, one line "<title>: <text>" on standard error.
    void showFailure(const QString &text) const;
    // Shows `text` as it stands in the same way.
    void showError(const QString &text) const;
    // Writes "<title>: <text>" as one line to standard error.
    void writeErrorLine(const QString &text) const;

    // Runs `handler`, catching and showing its failure. Returns false when
    // it failed.
    bool guard(const std::function<void()> &handler);
    int handlerDepth() const { return m_depth; }

    // The main window: boxes stand over it when no window is active.
    QWidget *mainWindow() const { return m_mainWindow; }
    void setMainWindow(QWidget *window) { m_mainWindow = window; }

    // The end of the program was asked for (the main window was closed).
    void requestEnd();
    bool endRequested() const { return m_endRequested; }
    // The event loop runs: an end request can be carried out by it.
    void setLoopRunning(bool running) { m_loopRunning = running; }

private:
    Program() = default;
    void endIfIdle();

    QString m_title;
    bool m_headless = false;
    bool m_hasScreen = true;
    RunLog *m_runLog = nullptr;
    RunWatch *m_runWatch = nullptr;
    QPointer<QWidget> m_mainWindow;
    bool m_singleTransaction = false;
    int m_exitStatus = 0;
    int m_depth = 0;
    bool m_endRequested = false;
    bool m_loopRunning = false;
};

// Wraps a member handler for connect(): the handler runs under
// Program::guard.
template <typename T>
std::function<void()> guarded(T *object, void (T::*handler)())
{
    return [object, handler]() { Program::instance().guard([=]() { (object->*handler)(); }); };
}

// Decides when the main window's activation handler runs: whenever keyboard
// focus enters the main window while the record of the window that took
// focus last names another of the program's windows or none. Dialogs and
// message boxes never change the record, nor does a switch to another
// application, so coming back from them runs nothing.
class ActivationRecord : public QObject
{
    Q_OBJECT
public:
    ActivationRecord(QWidget *mainWindow, QWidget *editorWindow,
                     std::function<void()> formActivate, QObject *parent = nullptr);

    // Keyboard focus entered `window` (a top-level window).
    void focusEntered(QWidget *window);
    QWidget *recorded() const { return m_record; }

private:
    QPointer<QWidget> m_main;
    QPointer<QWidget> m_editor;
    QPointer<QWidget> m_record;
    std::function<void()> m_formActivate;
};

} // namespace rux
