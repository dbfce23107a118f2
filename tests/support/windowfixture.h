#pragma once

// The two windows made and wired as the program's start-up makes them, plus
// helpers to act while a run waits in the table editor.

#include "app/programwindows.h"
#include "tests/support/otherconnection.h"
#include "tests/support/stderrcapture.h"
#include "tests/support/testfiles.h"
#include "ui/datasource.h"
#include "ui/filedialogs.h"
#include "ui/program.h"
#include "ui/tftabed.h"
#include "ui/trux_pp1.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QAbstractItemView;
class QLineEdit;
class QModelIndex;

namespace rux::test {

// Chooses files without a dialog: hands out the queued answers in turn
// (an empty answer is a cancel) and records what each dialog proposed.
class FakeDialogs : public FileDialogs
{
public:
    QStringList openAnswers;
    QStringList saveAnswers;
    QStringList openProposed;
    QStringList saveProposed;
    QStringList saveSuffixes;

    QString openFile(QWidget *, const QString &proposed) override
    {
        openProposed.append(proposed);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveFile(QWidget *, const QString &proposed, const QString &defaultSuffix) override
    {
        saveProposed.append(proposed);
        saveSuffixes.append(defaultSuffix);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    // The files a save asked to replace, and the answers (none left: no).
    QStringList replaceAsked;
    QList<bool> replaceAnswers;
    bool replaceFile(QWidget *, const QString &fileName) override
    {
        replaceAsked.append(fileName);
        return !replaceAnswers.isEmpty() && replaceAnswers.takeFirst();
    }
    // The questions a save asked, and the answers to give (none left: cancel).
    QStringList questions;
    QList<bool> insteadAnswers;
    bool saveInstead(QWidget *, const QString &question, const QString &agree) override
    {
        questions.append(question + QStringLiteral(" [") + agree + u']');
        return !insteadAnswers.isEmpty() && insteadAnswers.takeFirst();
    }
    int calls() const { return int(openProposed.size() + saveProposed.size() + questions.size()); }
};

// The standard tables of the window tests: t(id, name) with two rows,
// u(id, v) with one row and a check constraint on v.
void makeStandardDatabase(const QString &dbFile);

// The windows of a program without a screen, their files chosen by
// FakeDialogs.
struct Windows : ProgramWindows
{
    Windows();
    ~Windows();

    // Runs the script in the editor; returns the failure text, empty on
    // success.
    QString run(const QString &script)
    {
        main->editorLines().setText(script);
        return runEditor();
    }
    QString runEditor();
    void openDatabase(const QString &file)
    {
        main->db_f_name = file;
        main->set_database();
    }
    // The program's start-up with these command-line arguments: the main
    // window's first activation reads them. Returns the failure text,
    // empty on success.
    QString start(const QStringList &arguments);

    FakeDialogs dialogs;
};

// Acts while a run waits in the table editor: at each poll during which
// the editor waits and its grid has fetched its rows, the next action
// runs. A watchdog ends a wait that no action ended, so a faulty run
// cannot hang the test.
class WaitActions : public QObject
{
public:
    WaitActions(Tftabed *ftabed, QList<std::function<void()>> actions);
    int done() const { return m_done; }
    bool timedOut() const { return m_timedOut; }

private:
    void tick();

    Tftabed *m_ftabed;
    QList<std::function<void()>> m_actions;
    QTimer m_poll;
    QTimer m_watchdog;
    int m_done = 0;
    bool m_acting = false;
    bool m_timedOut = false;
};

// A run whose rows were looked at where they are shown.
struct GridRun
{
    QString shown;         // what the run's failure display showed
    bool timedOut = false; // the table editor's wait was ended by the watchdog
};

// Runs `script` and hands the rows it shows to `check`: in the table
// editor while the run waits there (its button then ends the wait), or in
// the result grid after the run, one more window of rows read.
GridRun runAndCheckGrid(Windows &w, bool editor, const QString &script,
                        const std::function<void(DataSource *)> &check);

// Lets the event loop wait for events for a moment, as it does whenever
// the user is looking at the windows.
void idleFor(int ms);

// Opens the grid's cell editor on `cell` and types `text` over what it
// holds, leaving the editor open (not yet committed). Returns the editor,
// null when none opened.
QLineEdit *typeIntoCell(QAbstractItemView *grid, const QModelIndex &cell, const QString &text);

// Presses Return in an open cell editor and lets the grid take the text
// and close the editor, which it does once the event loop runs. False when
// the editor stays open.
bool pressReturnInCell(QLineEdit *editor);

} // namespace rux::test
