// The table editor window and the main window's result grid on a
// PostgreSQL server, wired as the program wires them and started with
// DB=<server URI>: edits, new rows and deletions made in the window while
// a run waits reach the server's table, a refusal of the server is shown
// and the window keeps waiting, and only results that name one table with
// a primary key are edited in place.

#include "tests/support/pgfixture.h"
#include "tests/support/windowfixture.h"

#include "db/adoconnection.h"
#include "db/postgres/pgconninfo.h"
#include "ui/datagrid.h"
#include "ui/dbnavigator.h"
#include "ui/windowpump.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSqlQuery>

using namespace rux;
using namespace rux::test;
using State = rux::DataSource::State;

class TestPgTableEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startUpShowsTheMaskedDataSource();
    void editedCellReachesTheServer_data();
    void editedCellReachesTheServer();
    void appendedRowReadsBackServerValues_data();
    void appendedRowReadsBackServerValues();
    void ctrlDeleteAsksThenDeletes_data();
    void ctrlDeleteAsksThenDeletes();
    void refusedPostIsShownAndTheWindowKeepsWaiting_data();
    void refusedPostIsShownAndTheWindowKeepsWaiting();
    void tableWithoutKeyIsReadOnlyInTheEditor();
    void editOfAPartlyReadTableKeepsEveryRowOnce();
    void idleWindowsLeaveTheServerFree_data();
    void idleWindowsLeaveTheServerFree();
    void waitForAnotherSessionsLockKeepsPaintingAndEnds();
    void trailingResultEditableOnlyOverOneKeyedTable_data();
    void trailingResultEditableOnlyOverOneKeyedTable();

private:
    QString server(const QString &sql) { return OtherConnection(m_schema->uri()).values(sql); }
    QString rowsOfT()
    {
        return server(QStringLiteral("select string_agg(id || ':' || coalesce(name, 'NULL') || ':' || v, ',' "
                                     "order by id) from t"));
    }
    QStringList gridRow(DataSource *source, int row)
    {
        QStringList out;
        for (int c = 0; c < source->columnCount(); ++c)
            out.append(source->data(source->index(row, c)).toString());
        return out;
    }

    std::unique_ptr<PgSchema> m_schema;
    std::unique_ptr<Windows> m_w;
    std::function<bool(QWidget *)> m_savedConfirm;
    int m_questions = 0;
};

void TestPgTableEditing::initTestCase()
{
    RUX_NEED_PG_SERVER();
    // As the program on a screen: long statements keep the windows alive.
    WindowPump::instance().install();
    m_savedConfirm = DataGrid::confirmDelete;
}

void TestPgTableEditing::init()
{
    m_schema = std::make_unique<PgSchema>(QString::fromLatin1(QTest::currentTestFunction()));
    QCOMPARE(m_schema->error(), QString());
    OtherConnection s(m_schema->uri());
    QCOMPARE(s.run({
                 QStringLiteral("create table t (id int primary key, name text not null, v int check (v < 100))"),
                 QStringLiteral("insert into t values (1, 'a', 10), (2, 'b', 20)"),
                 QStringLiteral("create table items (id serial primary key, label text default 'new', n int)"),
                 QStringLiteral("insert into items (label, n) values ('first', 1), ('second', 2)"),
                 QStringLiteral("create table nokey (a int, b text)"),
                 QStringLiteral("insert into nokey values (1, 'x'), (2, 'y')"),
             }),
             QString());
    m_questions = 0;
    DataGrid::confirmDelete = [this](QWidget *) {
        ++m_questions;
        return false;
    };
    m_w = std::make_unique<Windows>();
    QCOMPARE(m_w->start({QStringLiteral("DB=") + m_schema->uri()}), QString());
    QVERIFY(m_w->main->access_con->connected());
    QCOMPARE(m_w->main->access_con->engine(), AdoConnection::Engine::Postgres);
}

void TestPgTableEditing::cleanup()
{
    // The windows' connection goes before the schema is dropped.
    m_w.reset();
    m_schema.reset();
    DataGrid::confirmDelete = m_savedConfirm;
}

void TestPgTableEditing::startUpShowsTheMaskedDataSource()
{
    Trux_pp1 *m = m_w->main.get();
    const QString uri = m_schema->uri();
    const QString password = pg::parseUri(uri).value(u"password");
    QVERIFY(!password.isEmpty());
    QCOMPARE(m->db_f_name, uri);
    QCOMPARE(m->Label2->text(), pg::maskPassword(uri));
    QVERIFY2(m->Label2->text().startsWith(QStringLiteral("postgresql://rux:***@")), qPrintable(m->Label2->text()));
    QVERIFY(!m->Label2->text().contains(password));

    Tftabed *ed = m_w->ftabed.get();
    QString labelDuringWait;
    QStringList firstRow;
    int currentRow = -1;
    WaitActions actions(ed, {[&]() {
        labelDuringWait = m->Label2->text();
        firstRow = gridRow(ed->DataSource1, 0);
        currentRow = ed->DBGrid1->currentIndex().row();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(labelDuringWait, pg::maskPassword(uri));
    QCOMPARE(firstRow, (QStringList{"1", "a", "10"}));
    QCOMPARE(currentRow, 0);
}

void TestPgTableEditing::editedCellReachesTheServer_data()
{
    QTest::addColumn<QString>("howPosted");
    QTest::newRow("typed_and_button1_pressed") << "button1";
    QTest::newRow("navigator_post_button") << "post";
    QTest::newRow("moving_to_another_row") << "move";
}

void TestPgTableEditing::editedCellReachesTheServer()
{
    QFETCH(QString, howPosted);
    Tftabed *ed = m_w->ftabed.get();
    bool typed = false;
    QString seenBeforeButton1;
    QString seenBeforeResume;
    WaitActions actions(ed, {[&]() {
        QLineEdit *editor = typeIntoCell(ed->DBGrid1, ed->DataSource1->index(0, 1), QStringLiteral("geändert"));
        typed = editor != nullptr;
        if (!editor)
            return ed->endWait();
        if (howPosted != QLatin1String("button1") && !pressReturnInCell(editor)) {
            typed = false;
            return ed->endWait();
        }
        if (howPosted == QLatin1String("post"))
            QTest::mouseClick(ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
        else if (howPosted == QLatin1String("move"))
            QTest::keyClick(ed->DBGrid1, Qt::Key_Down);
        seenBeforeButton1 = rowsOfT();
        QTest::mouseClick(ed->Button1, Qt::LeftButton);
        seenBeforeResume = server(QStringLiteral("select count(*) from t where id = 3"));
    }});
    // The batch after the editing sees the change.
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\n"
                                     "insert into t select 3, name, 30 from t where id = 1\r\ngo")),
             QString());
    QVERIFY(!actions.timedOut());
    QVERIFY(typed);
    QVERIFY(!ed->isVisible());
    QCOMPARE(seenBeforeButton1, howPosted == QLatin1String("button1") ? QStringLiteral("1:a:10,2:b:20")
                                                                      : QStringLiteral("1:geändert:10,2:b:20"));
    QCOMPARE(seenBeforeResume, QStringLiteral("0"));
    QCOMPARE(rowsOfT(), QStringLiteral("1:geändert:10,2:b:20,3:geändert:30"));
}

void TestPgTableEditing::appendedRowReadsBackServerValues_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("newRow");
    QTest::newRow("down_on_last_row_posted_by_navigator") << "down" << 1 << 2;
    QTest::newRow("insert_key_posted_by_button1") << "insert" << 0 << 0;
}

void TestPgTableEditing::appendedRowReadsBackServerValues()
{
    QFETCH(QString, how);
    QFETCH(int, startRow);
    QFETCH(int, newRow);
    Tftabed *ed = m_w->ftabed.get();
    State stateAfterKey = State::Browse;
    int rowsAfterKey = -1;
    int currentAfterKey = -1;
    bool typed = false;
    QStringList shown;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        ed->DBGrid1->setCurrentIndex(src->index(startRow, 2));
        QTest::keyClick(ed->DBGrid1, how == QLatin1String("down") ? Qt::Key_Down : Qt::Key_Insert);
        stateAfterKey = src->state();
        rowsAfterKey = src->rowCount();
        currentAfterKey = ed->DBGrid1->currentIndex().row();
        // Only n is given: the serial key and the label's default come from
        // the server.
        QLineEdit *editor = typeIntoCell(ed->DBGrid1, src->index(newRow, 2), QStringLiteral("5"));
        typed = editor != nullptr;
        if (!editor)
            return ed->endWait();
        if (how == QLatin1String("down")) {
            if (!pressReturnInCell(editor)) {
                typed = false;
                return ed->endWait();
            }
            QTest::mouseClick(ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
            shown = gridRow(src, newRow);
            ed->Button1->click();
        } else {
            QTest::mouseClick(ed->Button1, Qt::LeftButton);
            shown = gridRow(src, newRow);
        }
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table items\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(stateAfterKey, State::Insert);
    QCOMPARE(rowsAfterKey, 3);
    QCOMPARE(currentAfterKey, newRow);
    QVERIFY(typed);
    QCOMPARE(shown, (QStringList{"3", "new", "5"}));
    QCOMPARE(server(QStringLiteral("select string_agg(id || ':' || label || ':' || n, ',' order by id) from items")),
             QStringLiteral("1:first:1,2:second:2,3:new:5"));
}

void TestPgTableEditing::ctrlDeleteAsksThenDeletes_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("left");
    QTest::newRow("confirmed") << true << "2:b:20";
    QTest::newRow("cancelled") << false << "1:a:10,2:b:20";
}

void TestPgTableEditing::ctrlDeleteAsksThenDeletes()
{
    QFETCH(bool, answer);
    QFETCH(QString, left);
    DataGrid::confirmDelete = [this, answer](QWidget *) {
        ++m_questions;
        return answer;
    };
    Tftabed *ed = m_w->ftabed.get();
    QString seenDuringWait;
    int rowsShown = -1;
    QString firstShown;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        ed->DBGrid1->setCurrentIndex(src->index(0, 1));
        QTest::keyClick(ed->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        seenDuringWait = rowsOfT();
        rowsShown = src->rowCount();
        firstShown = src->data(src->index(0, 0)).toString();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(m_questions, 1);
    QCOMPARE(seenDuringWait, left);
    QCOMPARE(rowsShown, answer ? 1 : 2);
    QCOMPARE(firstShown, answer ? QStringLiteral("2") : QStringLiteral("1"));
    QCOMPARE(rowsOfT(), left);
}

void TestPgTableEditing::refusedPostIsShownAndTheWindowKeepsWaiting_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byButton1");
    QTest::addColumn<QString>("shown");
    const QString check = QStringLiteral(
        "rux_ppp: new row for relation \"t\" violates check constraint \"t_v_check\": "
        "Failing row contains (1, a, 500).\n");
    const QString notNull = QStringLiteral(
        "rux_ppp: null value in column \"name\" of relation \"t\" violates not-null constraint: "
        "Failing row contains (1, null, 10).\n");
    const QString duplicate = QStringLiteral(
        "rux_ppp: duplicate key value violates unique constraint \"t_pkey\": Key (id)=(2) already exists.\n");
    QTest::newRow("check_at_button1") << 2 << "500" << true << check;
    QTest::newRow("check_at_navigator_post") << 2 << "500" << false << check;
    QTest::newRow("not_null_at_button1") << 1 << "" << true << notNull;
    QTest::newRow("duplicate_key_at_navigator_post") << 0 << "2" << false << duplicate;
}

void TestPgTableEditing::refusedPostIsShownAndTheWindowKeepsWaiting()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(bool, byButton1);
    QFETCH(QString, shown);
    Tftabed *ed = m_w->ftabed.get();
    bool editorOpened = false;
    bool stillWaiting = false;
    bool stillVisible = false;
    State stateAfterRefusal = State::Browse;
    QString shownText;
    QString keptInGrid;
    QString afterCancel;
    std::unique_ptr<StderrCapture> capture = std::make_unique<StderrCapture>();
    WaitActions actions(ed, {
        [&]() {
            DataSource *src = ed->DataSource1;
            QLineEdit *editor = typeIntoCell(ed->DBGrid1, src->index(0, column), typed);
            editorOpened = editor != nullptr;
            if (!editor)
                return ed->endWait();
            if (!pressReturnInCell(editor)) {
                editorOpened = false;
                return ed->endWait();
            }
            if (byButton1)
                QTest::mouseClick(ed->Button1, Qt::LeftButton);
            else
                QTest::mouseClick(ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
            shownText = capture->text();
            stillWaiting = ed->waitmode;
            stillVisible = ed->isVisible();
            stateAfterRefusal = src->state();
            keptInGrid = src->data(src->index(0, column)).toString();
        },
        [&]() {
            // Undone, the row shows the server's values again and the
            // window ends as usual.
            ed->DataSource1->cancel();
            afterCancel = gridRow(ed->DataSource1, 0).join(u'|');
            ed->Button1->click();
        },
    });
    QCOMPARE(m_w->run(QStringLiteral("edit_table t\r\ngo\r\ninsert into nokey values (3, 'after')\r\ngo")),
             QString());
    capture.reset();
    QVERIFY(!actions.timedOut());
    QVERIFY(editorOpened);
    QCOMPARE(actions.done(), 2);
    QCOMPARE(shownText, shown);
    QVERIFY(stillWaiting);
    QVERIFY(stillVisible);
    QCOMPARE(stateAfterRefusal, State::Edit);
    QCOMPARE(keptInGrid, typed);
    QCOMPARE(afterCancel, QStringLiteral("1|a|10"));
    QCOMPARE(rowsOfT(), QStringLiteral("1:a:10,2:b:20"));
    // The run went on after the window was done with.
    QCOMPARE(server(QStringLiteral("select b from nokey where a = 3")), QStringLiteral("after"));
}

void TestPgTableEditing::tableWithoutKeyIsReadOnlyInTheEditor()
{
    Tftabed *ed = m_w->ftabed.get();
    int rows = -1;
    bool canModify = true;
    bool cellEditable = true;
    bool setDataTaken = true;
    State state = State::Insert;
    int rowsAfterKeys = -1;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        rows = src->rowCount();
        canModify = src->canModify();
        cellEditable = src->flags(src->index(0, 1)) & Qt::ItemIsEditable;
        setDataTaken = src->setData(src->index(0, 1), QStringLiteral("z"));
        ed->DBGrid1->setCurrentIndex(src->index(1, 1));
        QTest::keyClick(ed->DBGrid1, Qt::Key_X);
        QTest::keyClick(ed->DBGrid1, Qt::Key_Down);
        QTest::keyClick(ed->DBGrid1, Qt::Key_Insert);
        QTest::keyClick(ed->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
        state = src->state();
        rowsAfterKeys = src->rowCount();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table nokey\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QCOMPARE(rows, 2);
    QVERIFY(!canModify);
    QVERIFY(!cellEditable);
    QVERIFY(!setDataTaken);
    QCOMPARE(state, State::Browse);
    QCOMPARE(rowsAfterKeys, 2);
    QCOMPARE(m_questions, 0);
    QCOMPARE(server(QStringLiteral("select string_agg(a || ':' || b, ',' order by a) from nokey")),
             QStringLiteral("1:x,2:y"));
}

// The server streams the table's rows; a post while the grid has read
// only the first of them must neither lose nor repeat a row.
void TestPgTableEditing::editOfAPartlyReadTableKeepsEveryRowOnce()
{
    QCOMPARE(OtherConnection(m_schema->uri())
                 .run({QStringLiteral("create table big (id int primary key, v text)"),
                       QStringLiteral("insert into big select g, 'v' || g from generate_series(1, 3000) g")}),
             QString());
    Tftabed *ed = m_w->ftabed.get();
    int readBeforeEdit = -1;
    bool typed = false;
    QSet<QString> ids;
    int rowsShown = -1;
    QString sixth;
    WaitActions actions(ed, {[&]() {
        DataSource *src = ed->DataSource1;
        readBeforeEdit = src->rowCount();
        QLineEdit *editor = typeIntoCell(ed->DBGrid1, src->index(5, 1), QStringLiteral("edited"));
        typed = editor && pressReturnInCell(editor);
        if (!typed)
            return ed->endWait();
        QTest::mouseClick(ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
        while (src->canFetchMore(QModelIndex()))
            src->fetchMore(QModelIndex());
        rowsShown = src->rowCount();
        for (int r = 0; r < rowsShown; ++r)
            ids.insert(src->data(src->index(r, 0)).toString());
        sixth = src->data(src->index(5, 1)).toString();
        ed->Button1->click();
    }});
    QCOMPARE(m_w->run(QStringLiteral("edit_table big\r\ngo")), QString());
    QVERIFY(!actions.timedOut());
    QVERIFY2(readBeforeEdit > 5 && readBeforeEdit < 3000, qPrintable(QString::number(readBeforeEdit)));
    QVERIFY(typed);
    QCOMPARE(rowsShown, 3000);
    QCOMPARE(ids.size(), 3000);
    QCOMPARE(sixth, QStringLiteral("edited"));
    QCOMPARE(server(QStringLiteral("select v from big where id = 6")), QStringLiteral("edited"));
}

void TestPgTableEditing::trailingResultEditableOnlyOverOneKeyedTable_data()
{
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("textColumn");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QString>("shownAfter");
    QTest::addColumn<QString>("after");
    QTest::newRow("all_columns_of_keyed_table") << "select * from t order by id" << "name" << true << "main"
                                                << "1:main:10,2:b:20";
    QTest::newRow("columns_with_the_key") << "select name, id from t order by id" << "name" << true << "main"
                                          << "1:main:10,2:b:20";
    QTest::newRow("columns_without_the_key") << "select name, v from t order by v" << "name" << false << "a"
                                             << "1:a:10,2:b:20";
    QTest::newRow("join_of_two_tables")
        << "select t.id, t.name, i.label from t join items i on i.id = t.id order by t.id" << "name" << false << "a"
        << "1:a:10,2:b:20";
    QTest::newRow("table_without_key") << "select * from nokey order by a" << "b" << false << "x"
                                       << "1:a:10,2:b:20";
}

void TestPgTableEditing::trailingResultEditableOnlyOverOneKeyedTable()
{
    QFETCH(QString, select);
    QFETCH(QString, textColumn);
    QFETCH(bool, editable);
    QFETCH(QString, shownAfter);
    QFETCH(QString, after);
    Trux_pp1 *m = m_w->main.get();
    // The last batch has no "go": its result stays in the main grid.
    QCOMPARE(m_w->run(QStringLiteral("update t set v = v where id = 1\r\ngo\r\n") + select), QString());
    DataSource *src = m->DataSource1;
    if (src->rowCount() == 0 && src->canFetchMore(QModelIndex()))
        src->fetchMore(QModelIndex());
    QCOMPARE(src->rowCount(), 2);
    int column = -1;
    for (int c = 0; c < src->columnCount(); ++c) {
        if (src->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == textColumn)
            column = c;
    }
    QVERIFY(column >= 0);
    QCOMPARE(src->canModify(), editable);
    QCOMPARE(bool(src->flags(src->index(0, column)) & Qt::ItemIsEditable), editable);

    m->DBGrid1->setCurrentIndex(src->index(0, column));
    QCOMPARE(src->setData(src->index(0, column), QStringLiteral("main")), editable);
    // Moving to the next row posts the change.
    m->DBGrid1->setCurrentIndex(src->index(1, column));
    QCOMPARE(src->state(), State::Browse);
    QCOMPARE(src->data(src->index(0, column)).toString(), shownAfter);
    QCOMPARE(rowsOfT(), after);
    QCOMPARE(server(QStringLiteral("select string_agg(a || ':' || b, ',' order by a) from nokey")),
             QStringLiteral("1:x,2:y"));
}

// While the windows show part of a larger set and wait for the user, the
// program's session has no transaction and no query open, and another
// session's ALTER TABLE and TRUNCATE of the table shown do not wait for it;
// the rows are read further afterwards all the same.
void TestPgTableEditing::idleWindowsLeaveTheServerFree_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("editor");
    QTest::newRow("result_grid") << "select id, v from big" << "big" << false;
    QTest::newRow("table_editor_by_key") << "edit_table big\r\ngo" << "big" << true;
    QTest::newRow("table_editor_without_key") << "edit_table heap\r\ngo" << "heap" << true;
}

void TestPgTableEditing::idleWindowsLeaveTheServerFree()
{
    QFETCH(QString, script);
    QFETCH(QString, table);
    QFETCH(bool, editor);
    OtherConnection other(m_schema->uri());
    QCOMPARE(other.run({QStringLiteral("create table big (id int primary key, v text)"),
                        QStringLiteral("insert into big select g, 'v' || g from generate_series(1, 1000) g"),
                        QStringLiteral("create table heap as select * from big"),
                        QStringLiteral("SET lock_timeout = '2s'")}),
             QString());
    QSqlQuery pid(m_w->main->access_con->database());
    QVERIFY(pid.exec(QStringLiteral("select pg_backend_pid()")) && pid.next());
    const QString ours = pid.value(0).toString();
    pid.finish();

    QString state;
    QString altered;
    QString truncated;
    int shown = -1;
    int afterwards = -1;
    const auto check = [&](DataSource *source) {
        shown = source->rowCount();
        idleFor(20);
        state = other.values(QStringLiteral("select state from pg_stat_activity where pid = ") + ours);
        altered = other.run({QStringLiteral("alter table %1 add column w int").arg(table)});
        truncated = other.run({QStringLiteral("truncate ") + table});
        while (source->canFetchMore(QModelIndex()))
            source->fetchMore(QModelIndex());
        afterwards = source->rowCount();
    };
    const GridRun run = runAndCheckGrid(*m_w, editor, script, check);
    QCOMPARE(run.shown, QString());
    QVERIFY(!run.timedOut);
    QCOMPARE(state, QStringLiteral("idle"));
    QCOMPARE(altered, QString());
    QCOMPARE(truncated, QString());
    QCOMPARE(shown, 256);
    // A result holds the rows of its run; a table shows what it holds when
    // each window is read.
    QCOMPARE(afterwards, editor ? 256 : 1000);
}

// A statement that waits for a row another session has locked: the windows
// repaint meanwhile, and the wait ends with the server's lock timeout (as
// long as an SQLite file's busy timeout) instead of hanging the run.
void TestPgTableEditing::waitForAnotherSessionsLockKeepsPaintingAndEnds()
{
    int pumps = 0;
    WindowPump::instance().setBeforePump([&]() { ++pumps; });
    OtherConnection other(m_schema->uri());
    QCOMPARE(other.run({QStringLiteral("begin"), QStringLiteral("update t set v = 50 where id = 1")}), QString());
    QElapsedTimer waited;
    waited.start();
    const QString failure = m_w->run(QStringLiteral("update t set v = 60 where id = 1\r\ngo"));
    const qint64 ms = waited.elapsed();
    WindowPump::instance().setBeforePump({});
    QCOMPARE(other.run({QStringLiteral("commit")}), QString());
    QCOMPARE(failure, QStringLiteral("canceling statement due to lock timeout"));
    QVERIFY2(ms >= 4500 && ms < 15000, qPrintable(QString::number(ms)));
    QVERIFY2(pumps >= 10, qPrintable(QString::number(pumps)));
    QCOMPARE(rowsOfT(), QStringLiteral("1:a:50,2:b:20"));
}

QTEST_MAIN(TestPgTableEditing)
#include "tst_pgtableediting.moc"
