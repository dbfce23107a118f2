// The database shared with the programs that write it: while the windows
// wait for the user nothing holds a lock, rows read further show the
// database as it is then, and a long statement keeps the windows painting
// without handling any input.

#include "tests/support/windowfixture.h"

#include "ui/datagrid.h"
#include "ui/dbnavigator.h"
#include "ui/windowpump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace rux;
using namespace rux::test;

namespace {

// Writes through a connection of its own that does not wait for a lock:
// empty on success, the engine's text when another connection holds one.
QString writeNow(const QString &dbFile, const QString &sql)
{
    return sqlValues(dbFile, sql, OtherOptions{false, 0});
}

// Another program in the middle of a write: a connection of its own holds
// the database's write lock (a row written, not committed) until release().
class WriteLock
{
public:
    explicit WriteLock(const QString &dbFile)
        : m_other(dbFile)
    {
        m_held = m_other.run({QStringLiteral("begin immediate"), QStringLiteral("insert into log values ('theirs')")})
                     .isEmpty();
    }
    ~WriteLock() { release(); }
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;

    bool held() const { return m_held; }
    void release()
    {
        if (m_held)
            m_other.run({QStringLiteral("commit")});
        m_held = false;
    }

private:
    OtherConnection m_other;
    bool m_held = false;
};

QStringList shownColumn(DataSource *source, int column)
{
    QStringList values;
    for (int r = 0; r < source->rowCount(); ++r)
        values.append(source->data(source->index(r, column)).toString());
    return values;
}

QStringList numbers(int from, int to)
{
    QStringList list;
    for (int i = from; i <= to; ++i)
        list.append(QString::number(i));
    return list;
}

} // namespace

class TestSharing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { WindowPump::instance().install(); }
    void init();
    void cleanup();

    void idleWindowsHoldNoLock_data();
    void idleWindowsHoldNoLock();
    void readingFurtherShowsOtherProgramsWrites_data();
    void readingFurtherShowsOtherProgramsWrites();
    void jumpsAndScrollingUpShowEveryRowOnce_data();
    void jumpsAndScrollingUpShowEveryRowOnce();
    void longStatementKeepsPaintingWithoutInput_data();
    void longStatementKeepsPaintingWithoutInput();
    void postBlockedByAnotherProgramStaysPending();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Windows> m_w;
    QString m_db;
};

void TestSharing::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("shared.db"));
    makeDatabase(m_db, {
        QStringLiteral("create table big (id integer primary key, v text)"),
        QStringLiteral("insert into big with recursive c(n) as (select 1 union all "
                       "select n + 1 from c where n < 1000) select n, 'r' || n from c"),
        QStringLiteral("create view big_view as select id, v from big"),
        QStringLiteral("create table log (what text)"),
    });
    m_w = std::make_unique<Windows>();
    m_w->openDatabase(m_db);
    m_w->main->show();
}

void TestSharing::cleanup()
{
    WindowPump::instance().setBeforePump({});
    m_w.reset();
    m_dir.reset();
}

// A grid that has read its first window of a larger set, left alone: the
// trailing result of a run, and the table editor on a table (read by key)
// or on a view (read as a statement).
void TestSharing::idleWindowsHoldNoLock_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("editor");
    QTest::newRow("result_grid") << "select id, v from big" << false;
    QTest::newRow("table_editor_on_a_table") << "edit_table big\r\ngo" << true;
    QTest::newRow("table_editor_on_a_view") << "edit_table big_view\r\ngo" << true;
}

void TestSharing::idleWindowsHoldNoLock()
{
    QFETCH(QString, script);
    QFETCH(bool, editor);
    QStringList failures;
    int firstRows = 0;
    int moreRows = 0;
    // Shows the rows, waits, writes from outside; then reads further (the
    // grid scrolled to its end) and does the same.
    const auto check = [&](DataGrid *grid, DataSource *source) {
        firstRows = source->rowCount();
        idleFor(20);
        failures.append(writeNow(m_db, QStringLiteral("insert into log values ('first')")));
        grid->scrollToBottom();
        QTRY_VERIFY(source->rowCount() > firstRows);
        moreRows = source->rowCount();
        idleFor(20);
        failures.append(writeNow(m_db, QStringLiteral("insert into log values ('more')")));
    };
    if (editor) {
        Tftabed *ed = m_w->ftabed.get();
        WaitActions actions(ed, {[&]() {
            check(ed->DBGrid1, ed->DataSource1);
            ed->Button1->click();
        }});
        QCOMPARE(m_w->run(script), QString());
        QVERIFY(!actions.timedOut());
    } else {
        QCOMPARE(m_w->run(script), QString());
        m_w->main->PageControl1->setCurrentWidget(m_w->main->TabSheet1);
        QTRY_VERIFY(m_w->main->DataSource1->rowCount() > 0);
        check(m_w->main->DBGrid1, m_w->main->DataSource1);
    }
    QCOMPARE(failures, QStringList({QString(), QString()}));
    QVERIFY2(firstRows > 0 && firstRows < 1000, qPrintable(QString::number(firstRows)));
    QVERIFY2(moreRows < 1000, qPrintable(QString::number(moreRows)));
    QCOMPARE(sqlValues(m_db, QStringLiteral("select count(*) from log")), QStringLiteral("2"));
}

// After the first window, another program inserts, changes and deletes
// rows, then drops the table: the rows read further show what the
// database holds then, every row once, and the dropped table fails
// clearly, once.
void TestSharing::readingFurtherShowsOtherProgramsWrites_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("editor");
    QTest::addColumn<QString>("deletions");
    QTest::addColumn<QStringList>("expected");
    // A table read by key keeps the rows it showed (id 5 among them) and
    // shows only what is left of the rest.
    QStringList byKey = numbers(1, 1000);
    for (int id = 300; id <= 310; ++id)
        byKey.removeOne(QString::number(id));
    byKey.append(QStringLiteral("5000"));
    QTest::newRow("table_editor") << "edit_table big\r\ngo" << true
                                  << "id = 5 or id between 300 and 310" << byKey;
    QTest::newRow("result_grid") << "select id, v from big" << false << "id between 300 and 310" << byKey;
}

void TestSharing::readingFurtherShowsOtherProgramsWrites()
{
    QFETCH(QString, script);
    QFETCH(bool, editor);
    QFETCH(QString, deletions);
    QFETCH(QStringList, expected);
    QStringList ids;
    QString changed;
    QString shown;
    int rowsAfterDrop = -1;
    const auto check = [&](DataSource *source) {
        QCOMPARE(source->rowCount(), 256);
        idleFor(20);
        QCOMPARE(writeNow(m_db, QStringLiteral("insert into big values (5000, 'late')")), QString());
        QCOMPARE(writeNow(m_db, QStringLiteral("update big set v = 'changed' where id = 400")), QString());
        QCOMPARE(writeNow(m_db, QStringLiteral("delete from big where ") + deletions), QString());
        while (source->canFetchMore(QModelIndex()))
            source->fetchMore(QModelIndex());
        ids = shownColumn(source, 0);
        changed = source->data(source->index(int(ids.indexOf(QStringLiteral("400"))), 1)).toString();

        // Read afresh, then the table goes: the view asks for more rows
        // again and again, and the failure shows once.
        QVERIFY(Program::instance().guard([&]() { source->refresh(); }));
        if (source->rowCount() == 0)
            source->fetchMore(QModelIndex());
        idleFor(20);
        QCOMPARE(writeNow(m_db, QStringLiteral("drop table big")), QString());
        StderrCapture failures;
        for (int i = 0; i < 3; ++i)
            source->fetchMore(QModelIndex());
        shown = failures.text();
        rowsAfterDrop = source->rowCount();
    };
    const GridRun run = runAndCheckGrid(*m_w, editor, script, check);
    if (!editor)
        QCOMPARE(run.shown, QString());
    QVERIFY(!run.timedOut);
    QCOMPARE(ids, expected);
    QCOMPARE(changed, QStringLiteral("changed"));
    QCOMPARE(shown.count(QStringLiteral("no such table: big")), 1);
    QCOMPARE(rowsAfterDrop, 256);
}

// The navigator's last and first buttons, Ctrl+End and scrolling up from
// the first row shown read one window each on a table read by key, and
// every row comes once, in the key's order.
void TestSharing::jumpsAndScrollingUpShowEveryRowOnce_data()
{
    QTest::addColumn<QString>("create");
    QTest::addColumn<QString>("order");
    QTest::newRow("rowid_table") << "create table k (id integer primary key, v text)" << "rowid";
    QTest::newRow("text_key_without_rowid")
        << "create table k (id text primary key, v text) without rowid" << "id";
    QTest::newRow("two_column_key")
        << "create table k (a integer, id text, v text, primary key (a, id)) without rowid" << "a, id";
}

void TestSharing::jumpsAndScrollingUpShowEveryRowOnce()
{
    QFETCH(QString, create);
    QFETCH(QString, order);
    const bool twoColumns = create.contains(QLatin1String("(a, id)"));
    makeDatabase(m_db, {create,
                        QStringLiteral("insert into k (%1 id, v) with recursive c(n) as (select 1 union all "
                                       "select n + 1 from c where n < 2000) select %2 n, 'v' || n from c")
                            .arg(twoColumns ? QStringLiteral("a,") : QString(),
                                 twoColumns ? QStringLiteral("n % 7,") : QString())});
    const QStringList expected =
        sqlValues(m_db, QStringLiteral("select id from k order by ") + order).split(u',');
    const int idColumn = twoColumns ? 1 : 0;
    Tftabed *ed = m_w->ftabed.get();
    QStringList afterLast;
    QStringList whole;
    QString lastCurrent;
    QString firstCurrent;
    QString ctrlEndCurrent;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        DataGrid *grid = ed->DBGrid1;
        const auto current = [&]() { return src->data(src->index(grid->currentIndex().row(), idColumn)).toString(); };
        ed->DBNavigator1->button(QStringLiteral("last"))->click();
        lastCurrent = current();
        afterLast = shownColumn(src, idColumn);
        while (grid->readRowsBefore() > 0) {
        }
        whole = shownColumn(src, idColumn);
        ed->DBNavigator1->button(QStringLiteral("first"))->click();
        firstCurrent = current();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        ctrlEndCurrent = current();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table k\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(afterLast, expected.mid(expected.size() - 256));
    QCOMPARE(lastCurrent, expected.last());
    QCOMPARE(whole, expected);
    QCOMPARE(firstCurrent, expected.first());
    QCOMPARE(ctrlEndCurrent, expected.last());
}

// While a statement runs for seconds (a long query, or a wait for another
// connection's lock), the windows repaint again and again; input that
// arrives meanwhile is dropped, and timers wait until it has ended. The
// lines of the running batch are marked meanwhile; a batch that failed
// stays marked.
void TestSharing::longStatementKeepsPaintingWithoutInput_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("lockHeld");
    QTest::addColumn<QString>("failure");
    QTest::newRow("long_query")
        << "' counts for a few seconds\r\n"
           "select count(*) from (with recursive c(i) as (select 1 union all\r\n"
           "  select i + 1 from c where i < 12000000) select i from c)\r\ngo"
        << false << "";
    QTest::newRow("waiting_for_a_lock") << "' waits\r\ninsert into log values ('mine')\r\ngo" << true
                                        << "database is locked";
}

void TestSharing::longStatementKeepsPaintingWithoutInput()
{
    QFETCH(QString, script);
    QFETCH(bool, lockHeld);
    QFETCH(QString, failure);
    Trux_pp1 *main = m_w->main.get();
    QLineEdit probe;
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));

    int pumps = 0;
    int paints = 0;
    bool inputDuringStatement = false;
    bool timerDuringStatement = false;
    bool timerFired = false;
    QList<int> marked;
    const int cursorBefore = main->Memo1->textCursor().position();
    int cursorDuring = -1;

    bool counting = false;
    struct PaintCounter : QObject
    {
        int *count = nullptr;
        bool *counting = nullptr;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint && *counting)
                ++*count;
            return false;
        }
    } counter;
    counter.count = &paints;
    counter.counting = &counting;
    main->Memo1->viewport()->installEventFilter(&counter);

    WindowPump::instance().setBeforePump([&]() {
        counting = true;
        main->showRunningBatch();
        if (++pumps == 1) {
            QCoreApplication::postEvent(&probe, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier,
                                                              QStringLiteral("x")));
            QTimer::singleShot(1, &probe, [&]() { timerFired = true; });
            // The lines the marks reach (a mark ending at a line break ends
            // on the line before it).
            for (const QTextEdit::ExtraSelection &mark : main->Memo1->extraSelections()) {
                const QTextCursor c = mark.cursor;
                const int end = qMax(c.selectionStart(), c.selectionEnd() - 1);
                for (int b = c.document()->findBlock(c.selectionStart()).blockNumber();
                     b <= c.document()->findBlock(end).blockNumber(); ++b) {
                    if (!marked.contains(b))
                        marked.append(b);
                }
            }
            cursorDuring = main->Memo1->textCursor().position();
        } else {
            inputDuringStatement |= !probe.text().isEmpty();
            timerDuringStatement |= timerFired;
        }
        main->Memo1->viewport()->update();
    });

    std::unique_ptr<WriteLock> lock;
    if (lockHeld) {
        lock = std::make_unique<WriteLock>(m_db);
        QVERIFY(lock->held());
    }
    const QString text = m_w->run(script);
    counting = false;
    lock.reset();
    QCOMPARE(text, failure);
    QVERIFY2(pumps >= 5, qPrintable(QString::number(pumps)));
    QVERIFY2(paints >= 5, qPrintable(QString::number(paints)));
    QVERIFY(!inputDuringStatement);
    QVERIFY(!timerDuringStatement);
    QList<int> batchLines;
    for (int line = 1; line <= script.count(QStringLiteral("\r\n")); ++line)
        batchLines.append(line);
    QCOMPARE(marked, batchLines);
    QCOMPARE(cursorDuring, cursorBefore);
    QCOMPARE(main->Memo1->extraSelections().isEmpty(), failure.isEmpty());
    // The timer fires once the statement has ended; the key never arrives.
    QTRY_VERIFY(timerFired);
    idleFor(50);
    QCOMPARE(probe.text(), QString());
    main->Memo1->viewport()->removeEventFilter(&counter);
}

// Another program holds its write lock past the busy timeout: the post
// fails with the engine's text, the changed row stays in the grid with its
// change, and the button posts it once the lock has gone.
void TestSharing::postBlockedByAnotherProgramStaysPending()
{
    WriteLock lock(m_db);
    QVERIFY(lock.held());

    Tftabed *ed = m_w->ftabed.get();
    QString shownText;
    bool pending = false;
    QString cell;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        ed->DBGrid1->setCurrentIndex(src->index(0, 1));
        QVERIFY(src->setData(src->index(0, 1), QStringLiteral("mine")));
        StderrCapture shown;
        ed->DBNavigator1->button(QStringLiteral("post"))->click();
        shownText = shown.text();
        pending = src->state() == DataSource::State::Edit && src->modified();
        cell = src->data(src->index(0, 1)).toString();
        lock.release();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table big\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(shownText, QStringLiteral("rux_ppp: database is locked.\n"));
    QVERIFY(pending);
    QCOMPARE(cell, QStringLiteral("mine"));
    QCOMPARE(sqlValues(m_db, QStringLiteral("select v from big where id = 1")), QStringLiteral("mine"));
    QCOMPARE(sqlValues(m_db, QStringLiteral("select what from log")), QStringLiteral("theirs"));
}

QTEST_MAIN(TestSharing)
#include "tst_sharing.moc"
