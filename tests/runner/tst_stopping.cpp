// A run the user controls, on an SQLite file and on a PostgreSQL server:
// Esc or the stop button ends a long statement at once, an export of the
// stopped batch leaves its target as it was, a single transaction is taken
// back, a protected batch does not silence the stop, the table editor's
// wait and the substitution stop too. During a statement the commands are
// off and input is dropped, never replayed. The failed batch stays marked.
// The keys run, open and save. Closing the window stops the run (last: the
// program's end, once requested, stays requested).

#include "tests/support/enginedb.h"
#include "tests/support/windowfixture.h"

#include "exec/runlog.h"
#include "script/paramcells.h"
#include "ui/runview.h"
#include "ui/stringgrid.h"
#include "ui/windowpump.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

using namespace rux;
using namespace rux::test;

namespace {

// A statement that runs for many seconds on the engine.
QString longStatement(Engine engine)
{
    if (engine == Engine::Postgres)
        return QStringLiteral("select pg_sleep(30) as s");
    return QStringLiteral("select count(*) from (with recursive c(i) as (select 1 union all "
                          "select i + 1 from c where i < 40000000) select i from c)");
}

void postKey(QObject *receiver, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyPress, key, modifiers));
    QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyRelease, key, modifiers));
}

} // namespace

class TestStopping : public QObject
{
    Q_OBJECT

private:
    bool start(Engine engine)
    {
        m_db = std::make_unique<EngineDb>(engine);
        if (!m_db->error().isEmpty() || !m_db->run({QStringLiteral("create table log (what text)")})) {
            qWarning("%s", qPrintable(m_db->error() + m_db->lastError()));
            return false;
        }
        m_w = std::make_unique<Windows>();
        keepWindowsAlive(*m_w);
        m_main = m_w->main.get();
        return m_w->start({QStringLiteral("DB=") + m_db->dataSource()}).isEmpty();
    }
    // `action` runs once, at the first time the windows are kept alive
    // during a statement of the run (a statement that lasts).
    // `inBatch`: only once the batch that runs holds this text (a wait for
    // the connection to open, or for a short statement, may repaint first).
    void duringStatement(std::function<void()> action, const QString &inBatch = QString())
    {
        WindowPump::instance().setBeforePump([this, action, inBatch, done = false]() mutable {
            m_main->showRunningBatch();
            const QList<QTextEdit::ExtraSelection> marks = m_main->Memo1->extraSelections();
            if (!inBatch.isEmpty() && (marks.isEmpty() || !marks.first().cursor.selectedText().contains(inBatch)))
                return;
            if (!done) {
                done = true;
                action();
            }
        });
    }
    // The rows of the table log, joined by ",".
    QString logged()
    {
        return m_db->value(m_db->engine() == Engine::Postgres ? QStringLiteral("select string_agg(what, ',') from log")
                                                              : QStringLiteral("select group_concat(what) from log"));
    }
    // The editor line (from 0) where the cursor stands, and whether a batch
    // is marked.
    int cursorLine() const { return m_main->Memo1->textCursor().block().blockNumber(); }
    bool marked() const { return !m_main->Memo1->extraSelections().isEmpty(); }

    std::unique_ptr<EngineDb> m_db;
    std::unique_ptr<Windows> m_w;
    Trux_pp1 *m_main = nullptr;

private Q_SLOTS:
    void cleanup()
    {
        Program::instance().setSingleTransaction(false);
        Program::instance().setRunLog(nullptr);
        m_w.reset();
        m_db.reset();
    }

    void stopEndsTheRun_data()
    {
        QTest::addColumn<Engine>("engine");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("single");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("kept");
        bothRows(QStringLiteral("esc")) << "esc" << false << "" << "before";
        bothRows(QStringLiteral("stop_button")) << "button" << false << "" << "before";
        bothRows(QStringLiteral("single_transaction")) << "esc" << true << "" << "";
        // A batch that mentions drop drops its failures, not the stop.
        engineRow(Engine::Sqlite, QStringLiteral("protected_batch")) << "esc" << false << " /* drop */" << "before";
    }

    void stopEndsTheRun()
    {
        QFETCH(QString, how);
        QFETCH(bool, single);
        QFETCH(QString, remark);
        QFETCH(QString, kept);
        RUX_ENGINE_ROW(start);
        Program::instance().setSingleTransaction(single);
        const QString logFile = m_db->folder() + QStringLiteral("/run.log");
        RunLog log;
        log.open(logFile, QStringLiteral("test"));
        Program::instance().setRunLog(&log);
        const QString target = makeFile(m_db->folder() + QStringLiteral("/out.txt"), "old bytes");
        bool offDuringRun = false;
        duringStatement([&]() {
            offDuringRun = !m_main->Button6->isEnabled() && !m_main->Button1->isEnabled()
                && m_main->Button4->isEnabled() && !m_main->Button7->isHidden() && m_main->Button7->isEnabled();
            if (how == QLatin1String("esc"))
                postKey(m_main->Memo1, Qt::Key_Escape);
            else
                QTest::mouseClick(m_main->Button7, Qt::LeftButton);
        }, longStatement(m_db->engine()));
        const QString failure = m_w->run(QStringLiteral("insert into log values ('before')\r\ngo\r\n%1%2 totxt %3\r\n"
                                                        "go\r\ninsert into log values ('after')\r\ngo\r\n")
                                             .arg(longStatement(m_db->engine()), remark, target));
        QCOMPARE(failure, QStringLiteral("Stopped by the user at line 3"));
        QVERIFY(offDuringRun);
        QCOMPARE(logged(), kept);
        QCOMPARE(fileBytes(target), QByteArray("old bytes"));
        QCOMPARE(QDir(m_db->folder()).entryList({QStringLiteral(".rux_ppp-export-*")}, QDir::Hidden | QDir::Files),
                 QStringList());
        QVERIFY(m_main->runView()->statusText().startsWith(QStringLiteral("Stopped at line 3 after 1 batch in ")));
        QVERIFY(marked());
        QCOMPARE(cursorLine(), 2);
        QVERIFY(m_main->Button6->isEnabled());
        QVERIFY(m_main->Button7->isHidden());
        const QList<QByteArray> lines = fileBytes(logFile).trimmed().split('\n');
        QVERIFY2(lines.last().startsWith("end ") && lines.last().contains(" outcome=stopped "), lines.last());
    }

    // Esc in the main window while the run waits in the table editor: the
    // row still pending there is written, and the run ends.
    void stopEndsTheTableEditorWait()
    {
        QVERIFY(start(Engine::Sqlite));
        QVERIFY(m_db->run({QStringLiteral("insert into log values ('row')")}));
        WaitActions actions(m_w->ftabed.get(), {[&]() {
            DataSource *src = m_w->ftabed->DataSource1;
            QVERIFY(src->setData(src->index(0, 0), QStringLiteral("edited")));
            postKey(m_main->Memo1, Qt::Key_Escape);
        }});
        const QString failure = m_w->run(QStringLiteral("edit_table log\r\ngo\r\ninsert into log values ('after')\r\ngo"));
        QCOMPARE(failure, QStringLiteral("Stopped by the user at line 1"));
        QVERIFY(!actions.timedOut());
        QVERIFY(!m_w->ftabed->isVisible());
        QCOMPARE(logged(), QStringLiteral("edited"));
    }

    // A long substitution ends at the stop; the run runs no batch.
    void stopEndsTheSubstitution()
    {
        QVERIFY(start(Engine::Sqlite));
        QString script;
        for (int i = 0; i < 100000; ++i)
            script += QStringLiteral("' $a and $b\r\n");
        script += QStringLiteral("insert into log values ('ran')\r\ngo\r\n");
        m_main->StringGrid1->setCell(0, 1, QStringLiteral("$a"));
        m_main->StringGrid1->setCell(1, 1, QStringLiteral("1"));
        m_main->StringGrid1->setCell(0, 2, QStringLiteral("$b"));
        m_main->StringGrid1->setCell(1, 2, QStringLiteral("2"));
        m_main->var_count = 2;
        duringStatement([&]() { postKey(m_main->Memo1, Qt::Key_Escape); });
        const QString failure = m_w->run(script);
        QCOMPARE(failure, QStringLiteral("Stopped by the user while the parameters were written into the script"));
        QCOMPARE(logged(), QString());
        // What the editor shows is the script that a run reads.
        QCOMPARE(m_main->Memo1->toPlainText().replace(u'\n', QStringLiteral("\r\n")), m_main->editorLines().text());
        QVERIFY(m_main->runView()->statusText().startsWith(QStringLiteral("Stopped after 0 batches in ")));
    }

    // During a statement the commands are off; a click on execute, F5,
    // Ctrl+O and typing are dropped, not carried out once it has ended.
    void inputDuringAStatementIsDropped()
    {
        QVERIFY(start(Engine::Sqlite));
        duringStatement([&]() {
            QTest::mouseClick(m_main->Button6, Qt::LeftButton);
            postKey(m_main->Memo1, Qt::Key_F5);
            postKey(m_main->Memo1, Qt::Key_O, Qt::ControlModifier);
            QCoreApplication::postEvent(m_main->Memo1, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier,
                                                                     QStringLiteral("x")));
        });
        const QString script = QStringLiteral("insert into log values ('run')\r\ngo\r\nselect count(*) from (with "
                                              "recursive c(i) as (select 1 union all select i + 1 from c where i < "
                                              "3000000) select i from c)\r\ngo\r\n");
        QCOMPARE(m_w->run(script), QString());
        idleFor(50);
        QCOMPARE(logged(), QStringLiteral("run"));
        QCOMPARE(m_w->dialogs.calls(), 0);
        QCOMPARE(m_main->editorLines().text(), script);
        QVERIFY(m_main->Button6->isEnabled());
        QVERIFY(m_main->runView()->statusText().startsWith(QStringLiteral("Done: 2 batches in ")));
    }

    // A failure leaves its batch marked, the cursor on its first line;
    // the next edit takes the mark away.
    void failedBatchStaysMarkedUntilAnEdit()
    {
        QVERIFY(start(Engine::Sqlite));
        QCOMPARE(m_w->run(QStringLiteral("insert into log values (1)\r\ngo\r\n' the next batch fails\r\nselect *\r\n"
                                         "from missing\r\ngo\r\n")),
                 QStringLiteral("no such table: missing"));
        QVERIFY(marked());
        QCOMPARE(cursorLine(), 3);
        QVERIFY(m_main->runView()->statusText().startsWith(QStringLiteral("Failed at line 4 after 1 batch in ")));
        m_main->Memo1->insertPlainText(QStringLiteral("x"));
        QVERIFY(!marked());
    }

    // On the shown window: F5 and Ctrl+Enter run the script, Ctrl+O and
    // Ctrl+S open the dialogs; typing can be undone, a loaded script's
    // text cannot be undone away.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("effect");
        QTest::newRow("F5") << int(Qt::Key_F5) << int(Qt::NoModifier) << "ran";
        QTest::newRow("ctrl_enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "ran";
        QTest::newRow("ctrl_o") << int(Qt::Key_O) << int(Qt::ControlModifier) << "open";
        QTest::newRow("ctrl_s") << int(Qt::Key_S) << int(Qt::ControlModifier) << "save";
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, effect);
        QVERIFY(start(Engine::Sqlite));
        m_main->show();
        QApplication::setActiveWindow(m_main);
        QVERIFY(QTest::qWaitForWindowActive(m_main));
        m_main->editorLines().setText(QStringLiteral("insert into log values ('ran')\r\ngo\r\n"));
        m_main->Memo1->setFocus();
        QTest::keyClick(m_main->Memo1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        const QString happened = logged() == QLatin1String("ran") ? QStringLiteral("ran")
            : !m_w->dialogs.openProposed.isEmpty()                  ? QStringLiteral("open")
            : !m_w->dialogs.saveProposed.isEmpty()                  ? QStringLiteral("save")
                                                                    : QStringLiteral("nothing");
        QCOMPARE(happened, effect);

        QTest::keyClicks(m_main->Memo1, QStringLiteral("abc"));
        QVERIFY(m_main->editorLines().text().contains(QStringLiteral("abc")));
        QTest::keyClick(m_main->Memo1, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(!m_main->editorLines().text().contains(QStringLiteral("abc")));
        m_main->editorLines().setText(QStringLiteral("loaded"));
        QTest::keyClick(m_main->Memo1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_main->editorLines().text(), QStringLiteral("loaded"));
    }

    // Last: closing the main window during a statement stops it at once and
    // leaves the end requested.
    void closingStopsTheStatement_data() { rowPerEngine(); }

    void closingStopsTheStatement()
    {
        RUX_ENGINE_ROW(start);
        duringStatement([&]() { m_main->close(); });
        const QString failure =
            m_w->run(longStatement(m_db->engine()) + QStringLiteral("\r\ngo\r\ninsert into log values ('after')\r\ngo"));
        QCOMPARE(failure, QStringLiteral("Stopped by the user at line 1"));
        QCOMPARE(logged(), QString());
        QVERIFY(Program::instance().endRequested());
    }
};

QTEST_MAIN(TestStopping)
#include "tst_stopping.moc"
