#pragma once

// The two windows wired as the program's start-up wires them, on a real
// SQLite file, plus helpers to act while a run waits in the table editor.

#include "adoconnection.h"
#include "adoquery.h"
#include "datasource.h"
#include "failure.h"
#include "filedialogs.h"
#include "program.h"
#include "stringgrid.h"
#include "tftabed.h"
#include "trux_pp1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

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

// Runs SQL on a database file through a connection of its own (with the
// driver's connect options `options`).
inline QString sqlValues(const QString &dbFile, const QString &sql, const QString &options = QString())
{
    static int serial = 0;
    const QString name = QStringLiteral("check%1").arg(++serial);
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbFile);
        db.setConnectOptions(options);
        if (!db.open())
            return QStringLiteral("<open failed: %1>").arg(db.lastError().text());
        QSqlQuery q(db);
        if (!q.exec(sql))
            return QStringLiteral("<sql failed: %1>").arg(q.lastError().text());
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < q.record().count(); ++i)
                fields.append(q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
            rows.append(fields.join(u'|'));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows.join(u',');
}

inline void makeDatabase(const QString &dbFile, const QStringList &statements)
{
    for (const QString &s : statements) {
        const QString r = sqlValues(dbFile, s);
        if (r.startsWith(u'<'))
            qFatal("fixture: %s", qPrintable(r));
    }
}

// The standard fixture tables: t(id, name) with two rows, u(id, v) with
// one row and a check constraint on v.
inline void makeStandardDatabase(const QString &dbFile)
{
    makeDatabase(dbFile, {
        QStringLiteral("create table t (id integer primary key, name text)"),
        QStringLiteral("insert into t values (1, 'a')"),
        QStringLiteral("insert into t values (2, 'b')"),
        QStringLiteral("create table u (id integer primary key, v integer check (v < 100))"),
        QStringLiteral("insert into u values (1, 10)"),
    });
}

struct Windows
{
    Windows()
    {
        Program::instance().setHeadless(true);
        Program::instance().setTitle(QStringLiteral("rux_ppp"));
        main = std::make_unique<Trux_pp1>();
        ftabed = std::make_unique<Tftabed>(main->access_con);
        main->setTableEditor(ftabed.get());
        main->setFileDialogs(&dialogs);
        Trux_pp1 *m = main.get();
        record = std::make_unique<ActivationRecord>(main.get(), ftabed.get(), [m]() { m->FormActivate(); });
        ActivationRecord *r = record.get();
        ftabed->setFocusReturn([m, r]() {
            m->raise();
            m->activateWindow();
            r->focusEntered(m);
        });
    }
    ~Windows()
    {
        record.reset();
        ftabed.reset();
        main.reset();
    }

    // Runs the script in the editor; returns the failure text, empty on
    // success.
    QString run(const QString &script)
    {
        main->editorLines().setText(script);
        return runEditor();
    }
    QString runEditor()
    {
        try {
            main->Button6Click();
        } catch (const Failure &f) {
            return f.text();
        }
        return QString();
    }
    void openDatabase(const QString &file)
    {
        main->db_f_name = file;
        main->set_database();
    }
    // The program's start-up with these command-line arguments: the main
    // window's first activation reads them. Returns the failure text,
    // empty on success.
    QString start(const QStringList &arguments)
    {
        main->setArguments(arguments);
        try {
            main->FormActivate();
        } catch (const Failure &f) {
            return f.text();
        }
        return QString();
    }

    FakeDialogs dialogs;
    std::unique_ptr<Trux_pp1> main;
    std::unique_ptr<Tftabed> ftabed;
    std::unique_ptr<ActivationRecord> record;
};

// Acts while a run waits in the table editor: at each poll during which
// the editor waits and its grid has fetched its rows, the next action runs. A watchdog ends a wait that no
// action ended, so a faulty run cannot hang the test.
class WaitActions : public QObject
{
public:
    WaitActions(Tftabed *ftabed, QList<std::function<void()>> actions)
        : m_ftabed(ftabed), m_actions(std::move(actions))
    {
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, this, [this]() { tick(); });
        m_poll.start();
        m_watchdog.setSingleShot(true);
        m_watchdog.setInterval(15000);
        QObject::connect(&m_watchdog, &QTimer::timeout, this, [this]() {
            m_timedOut = true;
            m_ftabed->endWait();
        });
        m_watchdog.start();
    }
    int done() const { return m_done; }
    bool timedOut() const { return m_timedOut; }

private:
    void tick()
    {
        // An action that lets events run (waiting for the window, say) is
        // not interrupted by the next one.
        if (m_acting || !m_ftabed->waitmode || m_done >= m_actions.size())
            return;
        // Act once the window has come to the front and its grid has
        // fetched the rows it shows, as a user would.
        DataSource *source = m_ftabed->DataSource1;
        if (source->rowCount() == 0 && source->canFetchMore(QModelIndex()))
            return;
        if (m_done == 0 && QApplication::activeWindow() != m_ftabed)
            return;
        const auto action = m_actions.at(m_done++);
        m_acting = true;
        action();
        m_acting = false;
    }

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
inline GridRun runAndCheckGrid(Windows &w, bool editor, const QString &script,
                               const std::function<void(DataSource *)> &check)
{
    GridRun r;
    if (!editor) {
        r.shown = w.run(script);
        w.main->DataSource1->fetchMore(QModelIndex());
        check(w.main->DataSource1);
        return r;
    }
    Tftabed *ed = w.ftabed.get();
    WaitActions actions(ed, {[&]() {
        check(ed->DataSource1);
        ed->Button1->click();
    }});
    r.shown = w.run(script);
    r.timedOut = actions.timedOut();
    return r;
}

// Lets the event loop wait for events for a moment, as it does whenever
// the user is looking at the windows.
inline void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Opens the grid's cell editor on `cell` and types `text` over what it
// holds, leaving the editor open (not yet committed). Returns the editor,
// null when none opened.
inline QLineEdit *typeIntoCell(QAbstractItemView *grid, const QModelIndex &cell, const QString &text)
{
    // Typing goes into an active window, as a user's would; keys sent
    // before the window manager activates it would meet an editor that the
    // activation then gives the focus to again.
    if (!QTest::qWaitForWindowActive(grid->window(), 3000))
        return nullptr;
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    // The open editor is the grid's line edit; asking for the focus widget
    // instead would depend on when the window manager activates the window.
    auto *editor = grid->viewport()->findChild<QLineEdit *>();
    if (!editor || !editor->isVisible())
        return nullptr;
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    for (const QChar ch : text) {
        // Keys exist for ASCII letters only; others arrive as typed text.
        if (ch.unicode() < 0x80)
            QTest::keyClick(editor, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
    return editor;
}

// Presses Return in an open cell editor and lets the grid take the text
// and close the editor, which it does once the event loop runs. False when
// the editor stays open.
inline bool pressReturnInCell(QLineEdit *editor)
{
    QPointer<QLineEdit> open(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    return QTest::qWaitFor([&open]() { return !open || !open->isVisible(); }, 3000);
}

inline QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing>");
    return f.readAll();
}

inline bool writeBytes(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Sends standard error into a file for its lifetime, so that what the
// failure display writes without a screen can be read back.
class StderrCapture
{
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(2);
        ::dup2(m_file.handle(), 2);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    QString text()
    {
        std::fflush(stderr);
        QFile f(m_file.fileName());
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromLocal8Bit(f.readAll());
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace rux::test
