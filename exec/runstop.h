#pragma once

#include "script/failure.h"

#include <QString>

#include <functional>
#include <utility>

namespace rux {

// The failure that ends a run the user stopped. It is never silenced: a
// protected batch drops its own failures, not the user's stop.
class RunStopped : public Failure
{
public:
    // `line`: the script line (from 1) of the batch it stopped in or
    // before; 0 when it stopped outside the batches.
    explicit RunStopped(QString text, int line = 0) : Failure(std::move(text)), m_line(line) {}
    int line() const { return m_line; }

private:
    int m_line;
};

// Whether the failure being handled is a stop. Only inside a catch block.
bool currentFailureIsStop();

// "Stopped by the user at line <line>": the run stopped in, or right
// before, the batch that starts at that script line (from 1).
QString stoppedAtLineText(int line);
// The run stopped while the parameters were written into the script.
QString stoppedInSubstitutionText();
// The run stopped after its last batch, before its transaction was
// committed.
QString stoppedBeforeCommitText();

// A request to stop the script run in progress. The request interrupts the
// statement that runs (through the function set by setInterrupt) and is
// remembered until the next run begins, so that every place where the run
// can stop sees it.
class RunStop
{
public:
    void setInterrupt(std::function<void()> interrupt) { m_interrupt = std::move(interrupt); }

    void request();
    bool requested() const { return m_requested; }
    // A new run begins.
    void reset() { m_requested = false; }

    // Throws RunStopped with `text` and `line` when a stop has been asked
    // for.
    void check(const QString &text, int line = 0) const
    {
        if (m_requested)
            throw RunStopped(text, line);
    }

private:
    std::function<void()> m_interrupt;
    bool m_requested = false;
};

} // namespace rux
