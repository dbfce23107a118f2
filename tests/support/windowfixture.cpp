#include "tests/support/windowfixture.h"

#include "tests/support/failureof.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace rux::test {

void makeStandardDatabase(const QString &dbFile)
{
    makeDatabase(dbFile, {
        QStringLiteral("create table t (id integer primary key, name text)"),
        QStringLiteral("insert into t values (1, 'a')"),
        QStringLiteral("insert into t values (2, 'b')"),
        QStringLiteral("create table u (id integer primary key, v integer check (v < 100))"),
        QStringLiteral("insert into u values (1, 10)"),
    });
}

namespace {

// The program without a screen, then its windows.
ProgramWindows headlessWindows()
{
    Program::instance().setHeadless(true);
    Program::instance().setTitle(QStringLiteral("rux_ppp"));
    return createWindows(QStringList(), KeepAlive::None);
}

} // namespace

Windows::Windows()
    : ProgramWindows(headlessWindows())
{
    main->setFileDialogs(&dialogs);
}

Windows::~Windows()
{
    // Before the dialogs the main window uses.
    destroy();
}

QString Windows::runEditor()
{
    return failureOf([this] { main->Button6Click(); }, {});
}

QString Windows::start(const QStringList &arguments)
{
    main->setArguments(arguments);
    return failureOf([this] { main->FormActivate(); }, {});
}

WaitActions::WaitActions(Tftabed *ftabed, QList<std::function<void()>> actions)
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

void WaitActions::tick()
{
    // An action that lets events run (waiting for the window, say) is not
    // interrupted by the next one.
    if (m_acting || !m_ftabed->waitmode || m_done >= m_actions.size())
        return;
    // Act once the window has come to the front and its grid has fetched
    // the rows it shows, as a user would.
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

GridRun runAndCheckGrid(Windows &w, bool editor, const QString &script,
                        const std::function<void(DataSource *)> &check)
{
    GridRun r;
    if (!editor) {
        // The run's end has read the first window, as the grid would.
        r.shown = w.run(script);
        if (w.main->DataSource1->rowCount() == 0)
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

void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QLineEdit *typeIntoCell(QAbstractItemView *grid, const QModelIndex &cell, const QString &text)
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

bool pressReturnInCell(QLineEdit *editor)
{
    QPointer<QLineEdit> open(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    return QTest::qWaitFor([&open]() { return !open || !open->isVisible(); }, 3000);
}

} // namespace rux::test
