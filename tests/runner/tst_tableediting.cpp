// The table editing wait of a script run: the editor window shows the
// table, the run waits until the window is done with, however it is
// closed, and the main window's commands do nothing meanwhile.

#include "tests/support/windowfixture.h"

#include "db/adoconnection.h"
#include "db/tablename.h"
#include "script/failure.h"
#include "ui/datagrid.h"
#include "ui/dbnavigator.h"
#include "ui/stringgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace rux;
using namespace rux::test;

class TestTableEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void windowShowsTheTable();
    void postedChangeReachesDatabase_data();
    void postedChangeReachesDatabase();
    void waitEnds_data();
    void waitEnds();
    void refusedPendingRowKeepsWaiting_data();
    void refusedPendingRowKeepsWaiting();
    void typedCellIsPostedByButton1();
    void exportClauseOnTheEditingPath();
    void secondEditTableShowsOtherTable();
    void unknownTableFailsBeforeShowing();
    void surplusLinesFail();
    void focusReturnRunsInitPrjBeforeResume();
    void commandsDoNothingDuringWait_data();
    void commandsDoNothingDuringWait();
    void nestedInitPrjSkipsDbSqlGo();
    void closingMainWindowEndsWait();

private:
    QString ids(const QString &table = QStringLiteral("t"))
    {
        return sqlValues(m_db, QStringLiteral("select group_concat(id, ',') from (select id from %1 order by id)")
                                   .arg(table));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Windows> m_w;
    QString m_db;
};

void TestTableEditing::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("test.db"));
    makeStandardDatabase(m_db);
    m_w = std::make_unique<Windows>();
    m_w->openDatabase(m_db);
}

void TestTableEditing::cleanup()
{
    m_w.reset();
    m_dir.reset();
}

void TestTableEditing::windowShowsTheTable()
{
    Tftabed *ed = m_w->ftabed.get();
    int rows = -1;
    QString second;
    bool visible = false;
    bool checked = false;
    int currentRow = -1;
    WaitActions actions(ed, {[&]() {
        visible = ed->isVisible();
        rows = ed->DataSource1->rowCount();
        second = ed->DataSource1->data(ed->DataSource1->index(1, 1)).toString();
        checked = m_w->main->CheckBox1->isChecked();
        currentRow = ed->DBGrid1->currentIndex().row();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QVERIFY(visible);
    QCOMPARE(rows, 2);
    QCOMPARE(second, QStringLiteral("b"));
    QVERIFY(checked);
    QCOMPARE(currentRow, 0); // the cursor stands on the first row
    QVERIFY(!ed->isVisible());
    QVERIFY(!ed->waitmode);
}

void TestTableEditing::postedChangeReachesDatabase_data()
{
    QTest::addColumn<QString>("howPosted");
    QTest::newRow("navigator_post_button") << "post";
    QTest::newRow("moving_to_another_row") << "move";
    QTest::newRow("pending_row_posted_by_button1") << "button1";
    QTest::newRow("pending_row_posted_by_close") << "close";
}

void TestTableEditing::postedChangeReachesDatabase()
{
    QFETCH(QString, howPosted);
    Tftabed *ed = m_w->ftabed.get();
    QString seenBeforeResume;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        ed->DBGrid1->setCurrentIndex(src->index(0, 1));
        QVERIFY(src->setData(src->index(0, 1), QStringLiteral("changed")));
        if (howPosted == QLatin1String("post"))
            ed->DBNavigator1->button(QStringLiteral("post"))->click();
        else if (howPosted == QLatin1String("move"))
            ed->DBGrid1->setCurrentIndex(src->index(1, 1));
        if (howPosted == QLatin1String("close"))
            ed->close();
        else
            ed->Button1->click();
        seenBeforeResume = sqlValues(m_db, QStringLiteral("select count(*) from t where id = 3"));
    }});
    // The batch after the editing sees the change.
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\n"
                                     "insert into t select 3, name from t where id = 1\r\ngo")),
             QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(seenBeforeResume, QStringLiteral("0"));
    QCOMPARE(sqlValues(m_db, QStringLiteral("select name from t where id = 3")), QStringLiteral("changed"));
}

void TestTableEditing::waitEnds_data()
{
    QTest::addColumn<bool>("byClose");
    QTest::newRow("by_button1") << false;
    QTest::newRow("by_closing_the_window") << true;
}

void TestTableEditing::waitEnds()
{
    QFETCH(bool, byClose);
    Tftabed *ed = m_w->ftabed.get();
    WaitActions actions(ed, {[&]() {
        if (byClose)
            ed->close();
        else
            ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c')\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(ids(), QStringLiteral("1,2,3"));
    QVERIFY(!ed->isVisible());
}

void TestTableEditing::refusedPendingRowKeepsWaiting_data()
{
    QTest::addColumn<bool>("byClose");
    QTest::newRow("refused_at_button1") << false;
    QTest::newRow("refused_at_closing_the_window") << true;
}

void TestTableEditing::refusedPendingRowKeepsWaiting()
{
    QFETCH(bool, byClose);
    Tftabed *ed = m_w->ftabed.get();
    bool stillWaiting = false;
    bool stillVisible = false;
    StderrCapture shown;
    WaitActions actions(ed, {
        [&]() {
            DataSource *src = ed->DataSource1;
            ed->DBGrid1->setCurrentIndex(src->index(0, 1));
            QVERIFY(src->setData(src->index(0, 1), 500)); // breaks the check constraint
            if (byClose)                                   // shown, window stays
                ed->close();
            else
                ed->Button1->click();
            stillWaiting = ed->waitmode;
            stillVisible = ed->isVisible();
        },
        [&]() {
            ed->DataSource1->cancel();
            ed->Button1->click();
        },
    });
    QCOMPARE(m_w->run(QStringLiteral("edit_table u\r\ngo\r\ninsert into t values (3, 'c')\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(actions.done(), 2);
    QVERIFY(stillWaiting);
    QVERIFY(stillVisible);
    QCOMPARE(shown.text(), QStringLiteral("rux_ppp: CHECK constraint failed: v < 100.\n"));
    QCOMPARE(sqlValues(m_db, QStringLiteral("select v from u")), QStringLiteral("10"));
    QCOMPARE(ids(), QStringLiteral("1,2,3"));
}

// A value typed into the grid's cell editor and not yet committed is
// posted when the button is pressed with the mouse.
void TestTableEditing::typedCellIsPostedByButton1()
{
    Tftabed *ed = m_w->ftabed.get();
    bool editorOpen = false;
    WaitActions actions(ed, {[&]() {
        editorOpen = typeIntoCell(ed->DBGrid1, ed->DataSource1->index(1, 1), QStringLiteral("typed")) != nullptr;
        QTest::mouseClick(ed->Button1, Qt::LeftButton);
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c')\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QVERIFY(editorOpen);
    QVERIFY(!ed->isVisible());
    QCOMPARE(sqlValues(m_db, QStringLiteral("select name from t order by id")), QStringLiteral("a,typed,c"));
}

// An export clause in an editing batch: the file is made empty, then
// reading the closed query fails once the editing is over.
void TestTableEditing::exportClauseOnTheEditingPath()
{
    Tftabed *ed = m_w->ftabed.get();
    const QString file = m_dir->filePath(QStringLiteral("edit.txt"));
    QVERIFY(writeBytes(file, "old"));
    bool shown = false;
    WaitActions actions(ed, {[&]() {
        shown = ed->isVisible() && ed->DataSource1->rowCount() == 2;
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t totxt ") + file + QStringLiteral("\r\ngo\r\n"
                                                                                   "insert into t values (3, 'c')\r\ngo")),
             QStringLiteral("Query1: Operation bei geschlossener Datenmenge nicht ausführbar"));
    QVERIFY(!actions.timedOut());
    QVERIFY(shown);
    QCOMPARE(fileBytes(file), QByteArray());
    QCOMPARE(ids(), QStringLiteral("1,2"));
}

void TestTableEditing::secondEditTableShowsOtherTable()
{
    Tftabed *ed = m_w->ftabed.get();
    QStringList shown;
    auto look = [&]() {
        shown.append(ed->DataSource1->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString() + u'/'
                     + ed->DataSource1->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString() + u'/'
                     + QString::number(ed->DataSource1->rowCount()));
        ed->Button1->click();
    };
    WaitActions actions(ed, {look, look, look});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\nEDIT_TABLE u\r\ngo\r\n"
                                     "insert into t values (3, 'c')\r\ngo\r\nedit_table t\r\ngo")),
             QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(shown, (QStringList{QStringLiteral("id/name/2"), QStringLiteral("id/v/1"),
                                 QStringLiteral("id/name/3")}));
}

void TestTableEditing::unknownTableFailsBeforeShowing()
{
    Tftabed *ed = m_w->ftabed.get();
    WaitActions actions(ed, {[&]() { ed->Button1->click(); }});
    const QString failure = m_w->run(QStringLiteral("insert into t values (3, 'c')\r\ngo\r\n"
                                                    "edit_table nosuch\r\ngo\r\n"
                                                    "insert into t values (4, 'd')\r\ngo"));
    QVERIFY(!failure.isEmpty());
    QVERIFY2(failure.contains(QStringLiteral("nosuch")), qPrintable(failure));
    QCOMPARE(actions.done(), 0);
    QVERIFY(!ed->isVisible());
    QVERIFY(!ed->waitmode);
    QCOMPARE(ids(), QStringLiteral("1,2,3"));
}

void TestTableEditing::surplusLinesFail()
{
    QString expected;
    try {
        tableNameFromBatch(QStringLiteral("t\r\nselect 1\r\n"));
    } catch (const Failure &f) {
        expected = f.text();
    }
    QVERIFY(!expected.isEmpty());
    Tftabed *ed = m_w->ftabed.get();
    WaitActions actions(ed, {[&]() { ed->Button1->click(); }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\nselect 1\r\ngo")), expected);
    QCOMPARE(actions.done(), 0);
    QVERIFY(!ed->isVisible());
}

void TestTableEditing::focusReturnRunsInitPrjBeforeResume()
{
    Trux_pp1 *m = m_w->main.get();
    Tftabed *ed = m_w->ftabed.get();
    m->StringGrid1->setCell(0, 1, QStringLiteral("$p"));
    m->StringGrid1->setCell(1, 1, QStringLiteral("typed"));
    m->var_count = 1;
    m->run_id = QStringLiteral("42");
    // The activation record must name the editor window for the focus
    // return to count as coming back.
    QString cellAfterButton;
    QString runIdAfterButton;
    QString idsAfterButton;
    bool focusInEditor = false;
    WaitActions actions(ed, {[&]() {
        // Showing the editor window gave it the keyboard focus.
        focusInEditor = QTest::qWaitFor([&]() { return m_w->record->recorded() == ed; }, 3000);
        ed->Button1->click();
        cellAfterButton = m->StringGrid1->cell(1, 1);
        runIdAfterButton = m->run_id;
        idsAfterButton = ids();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c')\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QVERIFY(focusInEditor);
    QCOMPARE(cellAfterButton, QString());
    QCOMPARE(runIdAfterButton, QStringLiteral("-999"));
    QCOMPARE(idsAfterButton, QStringLiteral("1,2"));
    QCOMPARE(ids(), QStringLiteral("1,2,3"));
    QCOMPARE(m->var_count, 0);
}

void TestTableEditing::commandsDoNothingDuringWait_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("byButton"); // a press through the failure display, or the handler itself

    QTest::newRow("execute_script_handler") << "execute" << false;
    QTest::newRow("execute_script_button") << "execute" << true;
    QTest::newRow("open_db_handler") << "open_db" << false;
    QTest::newRow("open_db_button") << "open_db" << true;
    QTest::newRow("open_sql_handler") << "open_sql" << false;
    QTest::newRow("open_sql_button") << "open_sql" << true;
}

void TestTableEditing::commandsDoNothingDuringWait()
{
    QFETCH(QString, command);
    QFETCH(bool, byButton);

    Trux_pp1 *m = m_w->main.get();
    Tftabed *ed = m_w->ftabed.get();
    const QString other = m_dir->filePath(QStringLiteral("other.db"));
    makeStandardDatabase(other);
    const QString otherSql = m_dir->filePath(QStringLiteral("other.sql"));
    QVERIFY(writeBytes(otherSql, "insert into t values (9, 'z')\r\ngo\r\n"));
    m_w->dialogs.openAnswers = {command == QLatin1String("open_db") ? other : otherSql};
    const QString script = QStringLiteral("insert into t values (3, 'c')\r\ngo\r\nedit_table t\r\ngo\r\n"
                                          "insert into t values (4, 'd')\r\ngo");
    QString idsDuringWait;
    bool stillWaiting = false;
    WaitActions actions(ed, {[&]() {
        if (command == QLatin1String("execute"))
            byButton ? m->Button6->click() : m->Button6Click();
        else if (command == QLatin1String("open_db"))
            byButton ? m->Button1->click() : m->Button1Click();
        else
            byButton ? m->Button2->click() : m->Button2Click();
        QCoreApplication::processEvents();
        idsDuringWait = ids();
        stillWaiting = ed->waitmode && ed->isVisible();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(script), QString());
    QVERIFY(!actions.timedOut());
    QVERIFY(stillWaiting);
    QCOMPARE(idsDuringWait, QStringLiteral("1,2,3"));
    QCOMPARE(m_w->dialogs.calls(), 0);
    QCOMPARE(m->db_f_name, m_db);
    QCOMPARE(m->Label2->text(), m_db);
    QCOMPARE(m->sql_f_name, QString());
    QCOMPARE(m->editorLines().text(), script);
    QCOMPARE(ids(), QStringLiteral("1,2,3,4"));
    QCOMPARE(sqlValues(other, QStringLiteral("select count(*) from t")), QStringLiteral("2"));
}

void TestTableEditing::nestedInitPrjSkipsDbSqlGo()
{
    Trux_pp1 *m = m_w->main.get();
    Tftabed *ed = m_w->ftabed.get();
    const QString other = m_dir->filePath(QStringLiteral("other.db"));
    makeStandardDatabase(other);
    const QString otherSql = m_dir->filePath(QStringLiteral("other.sql"));
    {
        QFile f(otherSql);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("insert into t values (9, 'z')\r\ngo\r\n");
    }
    m->setArguments({QStringLiteral("DB=") + other, QStringLiteral("SQL=") + otherSql,
                     QStringLiteral("ERR_P=5"), QStringLiteral("$p=1"), QStringLiteral("GO")});
    const QString script = QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c')\r\ngo");
    QString row;
    WaitActions actions(ed, {[&]() {
        m_w->record->focusEntered(ed);
        ed->Button1->click();
        row = m->StringGrid1->cell(0, 1) + u'=' + m->StringGrid1->cell(1, 1);
    }});
    QCOMPARE(m_w->run(script), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(row, QStringLiteral("$p=1"));
    QCOMPARE(m->run_id, QStringLiteral("5"));
    QCOMPARE(m->db_f_name, m_db);
    QCOMPARE(m->editorLines().text(), script);
    QCOMPARE(m->sql_f_name, QString());
    QVERIFY(!m->autorun);
    QVERIFY(m->access_con->connected());
    QCOMPARE(ids(), QStringLiteral("1,2,3"));
    QCOMPARE(sqlValues(other, QStringLiteral("select count(*) from t")), QStringLiteral("2"));
}

void TestTableEditing::closingMainWindowEndsWait()
{
    Tftabed *ed = m_w->ftabed.get();
    WaitActions actions(ed, {[&]() { m_w->main->close(); }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c')\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QVERIFY(!ed->isVisible());
    QCOMPARE(ids(), QStringLiteral("1,2,3"));
    QVERIFY(Program::instance().endRequested());
}

QTEST_MAIN(TestTableEditing)
#include "tst_tableediting.moc"
