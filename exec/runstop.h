#pragma once

#include "base/failure.h"

#include <QString>

#include <atomic>
#include <functional>
#include <utility>

namespace rux {

// Why a run was stopped.
enum class StopCause {
    None,
    User,    // Esc, the stop button, the main window closed
    Timeout, // the time limit of --timeout ran out
    Signal,  // SIGTERM or SIGINT
};

// The failure that ends a stopped run. It is never silenced: a protected
// batch drops its own failures, not a stop.
class RunStopped : public Failure
{
public:
    // `line`: the script line (from 1) of the batch it stopped in or
    // before; 0 when it stopped outside the batches.
    RunStopped(QString text, int line, StopCause cause, int exitStatus)
        : Failure(std::move(text)), m_line(line), m_cause(cause), m_exitStatus(exitStatus)
    {
    }
    int line() const { return m_line; }
    StopCause cause() const { return m_cause; }
    // The status the program ends with: 1, or 128 and the signal's number.
    int exitStatus() const { return m_exitStatus; }

private:
    int m_line;
    StopCause m_cause;
    int m_exitStatus;
};

// Whether the failure being handled is a stop. Only inside a catch block.
bool currentFailureIsStop();
// The cause of the stop being handled; None when the failure is no stop.
// Only inside a catch block.
StopCause currentStopCause();
// The exit status a failed unattended run ends with: a stop's (128 and the
// signal's number after a signal), 1 for any other failure. Only inside a
// catch block.
int currentFailureStatus();

// A request to stop the script run in progress. The request interrupts the
// statement that runs (through the function set by setInterrupt) and is
// remembered, so that every place where the run can stop sees it: the
// user's until the next run begins, an ending (time limit, signal) for
// good.
//
// The end of a run may be asked for from another thread (a signal, the
// time limit): the state is atomic, and the interrupt function must be
// safe to call from there.
class RunStop
{
public:
    void setInterrupt(std::function<void()> interrupt) { m_interrupt = std::move(interrupt); }
    // The time limit as the user gave it ("90s"), for the failure text.
    void setTimeLimitText(const QString &text) { m_timeLimit = text; }

    // The user stops the run.
    void request();
    // The run is to end: `cause` is Timeout or Signal (`signalNumber`
    // given). Safe from any thread.
    void end(StopCause cause, int signalNumber = 0);
    bool requested() const { return cause() != StopCause::None; }
    StopCause cause() const;
    // A stop was asked for and has not yet ended the run: the run has
    // not yet reached a place where it looks at the stop.
    bool pending() const { return requested() && !m_seen.load(); }
    // A new run begins: the user's request and a time limit that ran out
    // are forgotten (the watch of runwatch.h ends the run again when its
    // limit holds for the whole program); a signal stays.
    void reset()
    {
        m_user.store(false);
        int timeout = int(StopCause::Timeout);
        m_ending.compare_exchange_strong(timeout, 0);
        m_seen.store(false);
    }
    // Interrupts the statement that runs once more.
    void interruptAgain() const { interrupt(); }

    // Throws RunStopped when a stop has been asked for: in, or right
    // before, the batch at script line `line` (from 1).
    void checkAt(int line) const { check(Point::AtLine, line); }
    // ... while the parameters are written into the script.
    void checkInSubstitution() const { check(Point::InSubstitution, 0); }
    // ... after the last batch, before the run's transaction is committed.
    void checkBeforeCommit() const { check(Point::BeforeCommit, 0); }

    // The failure text of a stop at a point of the run (tests read it).
    enum class Point { AtLine, InSubstitution, BeforeCommit };
    QString text(Point point, int line) const;

private:
    void check(Point point, int line) const;
    void interrupt() const;

    std::function<void()> m_interrupt;
    QString m_timeLimit;
    std::atomic<bool> m_user{false};
    // An ending: the StopCause and the signal's number, for good.
    std::atomic<int> m_ending{0};
    std::atomic<int> m_signal{0};
    mutable std::atomic<bool> m_seen{false};
};

} // namespace rux
