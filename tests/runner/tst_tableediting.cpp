// The table editor window of a script run, on an SQLite file and on a
// PostgreSQL server (rows "sqlite/..." and "postgres/..."): the window shows
// the table, edits, new rows and deletions made there reach the database,
// a refusal of the database is shown and the window keeps waiting, the run
// waits until the window is done with, however it is closed, and the main
// window's commands do nothing meanwhile. Some behaviours are the server's
// own: another session's lock, an idle session while the windows wait.

#include "tests/support/enginedb.h"
#include "tests/support/windowfixture.h"

#include "db/adoconnection.h"
#include "db/postgres/pgconninfo.h"
#include "db/tablename.h"
#include "tests/support/failureof.h"
#include "ui/datagrid.h"
#include "ui/dbnavigator.h"
#include "ui/stringgrid.h"
#include "ui/windowpump.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>

using namespace rux;
using namespace rux::test;
using State = rux::DataSource::State;

class TestTableEditing : public QObject
{
    Q_OBJECT

private:
    static void postgresRow()
    {
        addEngineColumn();
        engineRow(Engine::Postgres, QStringLiteral("db"));
    }
    // The tables of the row's engine, and the windows started with DB=<it>.
    bool start(Engine engine)
    {
        m_db = std::make_unique<EngineDb>(engine);
        const bool pg = engine == Engine::Postgres;
        if (!m_db->error().isEmpty() || !m_db->run({
                QStringLiteral("create table t (id integer primary key, name text not null, "
                               "v integer check (v < 100))"),
                QStringLiteral("insert into t values (1, 'a', 10), (2, 'b', 20)"),
                QStringLiteral("create table u (id integer primary key, v integer check (v < 100))"),
                QStringLiteral("insert into u values (1, 10)"),
                QStringLiteral("create table items (id %1 primary key, label text default 'new', n integer)")
                    .arg(pg ? QStringLiteral("serial") : QStringLiteral("integer")),
                QStringLiteral("insert into items (label, n) values ('first', 1), ('second', 2)"),
                QStringLiteral("create table nokey (a integer, b text)"),
                QStringLiteral("insert into nokey values (1, 'x'), (2, 'y')"),
            })) {
            qWarning("%s", qPrintable(m_db->error() + m_db->lastError()));
            return false;
        }
        m_questions = 0;
        DataGrid::confirmDelete = [this](QWidget *) {
            ++m_questions;
            return false;
        };
        m_w = std::make_unique<Windows>();
        m_ed = m_w->ftabed.get();
        const QString failure = m_w->start({QStringLiteral("DB=") + m_db->dataSource()});
        if (!failure.isEmpty())
            qWarning("%s", qPrintable(failure));
        return failure.isEmpty() && m_w->main->access_con->connected()
            && (m_w->main->access_con->engine() == AdoConnection::Engine::Postgres) == pg;
    }
    // Runs `script` while `actions` act in turn in the waiting editor
    // window; true when it ran through. m_failure: the run's failure text,
    // with a note appended when the watchdog ended a wait or not `done`
    // actions (all, by default) ran.
    bool runWaiting(const QString &script, const QList<std::function<void()>> &actions, int done = -1)
    {
        WaitActions acting(m_ed, actions);
        m_failure = m_w->run(script);
        if (acting.timedOut())
            m_failure += QStringLiteral(" <the watchdog ended a wait>");
        if (acting.done() != (done < 0 ? actions.size() : done))
            m_failure += QStringLiteral(" <%1 actions ran>").arg(acting.done());
        if (!m_failure.isEmpty())
            qWarning("%s", qPrintable(m_failure));
        return m_failure.isEmpty();
    }
    // Another SQLite database with the standard tables, in <name>, and a
    // script that would fill it, in <name>.sql; returns <name>.
    QString makeOtherFiles()
    {
        const QString other = m_db->folder() + QStringLiteral("/other.db");
        makeStandardDatabase(other);
        return writeBytes(other + QStringLiteral(".sql"), "insert into t values (9, 'z')\r\ngo\r\n") ? other
                                                                                                     : QString();
    }
    QString values(const QString &sql) { return OtherConnection(m_db->dataSource()).values(sql); }
    QString ids() { return values(QStringLiteral("select id from t order by id")); }
    QString rowsOfT() { return values(QStringLiteral("select id, name, v from t order by id")); }
    QString nokey() { return values(QStringLiteral("select a, b from nokey order by a")); }
    static QStringList gridRow(DataSource *source, int row)
    {
        QStringList out;
        for (int c = 0; c < source->columnCount(); ++c)
            out.append(source->data(source->index(row, c)).toString());
        return out;
    }
    // Types `text` into the editor window's cell and presses Return.
    bool typeAndReturn(int row, int column, const QString &text)
    {
        QLineEdit *editor = typeIntoCell(m_ed->DBGrid1, m_ed->DataSource1->index(row, column), text);
        return editor && pressReturnInCell(editor);
    }

    // Ctrl+0 in the cell's editor, which sets the cell to NULL.
    static constexpr const char *kSetNull = "<Ctrl+0>";
    bool setNullInCell(int row, int column)
    {
        QLineEdit *editor = typeIntoCell(m_ed->DBGrid1, m_ed->DataSource1->index(row, column), QString());
        if (!editor)
            return false;
        QTest::keyClick(editor, Qt::Key_0, Qt::ControlModifier);
        return true;
    }

    std::unique_ptr<EngineDb> m_db;
    std::unique_ptr<Windows> m_w;
    Tftabed *m_ed = nullptr;
    QString m_failure;
    std::function<bool(QWidget *)> m_savedConfirm;
    int m_questions = 0;

private Q_SLOTS:
    void initTestCase()
    {
        // As the program on a screen: long statements keep the windows alive.
        WindowPump::instance().install();
        m_savedConfirm = DataGrid::confirmDelete;
    }

    void cleanup()
    {
        // The windows' connection goes before the database.
        m_w.reset();
        m_db.reset();
        DataGrid::confirmDelete = m_savedConfirm;
    }

    void windowShowsTheTable_data() { rowPerEngine(); }

    void windowShowsTheTable()
    {
        RUX_ENGINE_ROW(start);
        Trux_pp1 *m = m_w->main.get();
        const QString source = m_db->dataSource();
        QCOMPARE(m->db_f_name, source);
        const QString label = AdoConnection::shownDataSource(source);
        QCOMPARE(m->Label2->text(), label);
        if (engine == Engine::Postgres) {
            // A server's password is never shown.
            const QString password = pg::parseUri(source).value(u"password");
            QVERIFY(!password.isEmpty() && !label.contains(password));
            QCOMPARE(label, pg::maskPassword(source));
            QVERIFY2(label.startsWith(QStringLiteral("postgresql://rux:***@")), qPrintable(label));
        } else {
            QCOMPARE(label, source); // a file is shown as it is
        }
        QStringList seen;
        QVERIFY(runWaiting(QStringLiteral("edit_table t\r\ngo"), {[&]() {
                                DataSource *src = m_ed->DataSource1;
                                // The cursor stands on the first row.
                                seen << m->Label2->text() << gridRow(src, 0).join(u'|')
                                     << QStringLiteral("visible %1, rows %2, checked %3, current row %4")
                                            .arg(int(m_ed->isVisible()))
                                            .arg(src->rowCount())
                                            .arg(int(m->CheckBox1->isChecked()))
                                            .arg(m_ed->DBGrid1->currentIndex().row());
                                m_ed->Button1->click();
                            }}));
        QCOMPARE(seen, (QStringList{label, "1|a|10", "visible 1, rows 2, checked 1, current row 0"}));
        QVERIFY(!m_ed->isVisible());
        QVERIFY(!m_ed->waitmode);
    }

    // However the window ends its wait, a change made there reaches the
    // database before the run goes on.
    void postedChangeReachesDatabase_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("how");
        bothRows(QStringLiteral("navigator_post_button")) << "post";
        bothRows(QStringLiteral("moving_to_another_row")) << "move";
        bothRows(QStringLiteral("typed_and_button1_pressed")) << "typed";
        bothRows(QStringLiteral("pending_row_posted_by_button1")) << "button1";
        bothRows(QStringLiteral("pending_row_posted_by_close")) << "close";
        bothRows(QStringLiteral("unchanged_ended_by_button1")) << "none_button1";
        bothRows(QStringLiteral("unchanged_ended_by_closing_the_window")) << "none_close";
    }

    void postedChangeReachesDatabase()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(QString, how);
        const bool changes = !how.startsWith(QLatin1String("none"));
        const bool postedBefore = how == QLatin1String("post") || how == QLatin1String("move");
        const QString name = changes ? QStringLiteral("geändert") : QStringLiteral("a");
        bool changed = !changes;
        QString seenBeforeEnd;
        QString seenBeforeResume;
        QVERIFY(runWaiting(
            QStringLiteral("edit_table t\r\ngo\r\ninsert into t select 3, name, 30 from t where id = 1\r\ngo"), {[&]() {
                DataSource *src = m_ed->DataSource1;
                if (how == QLatin1String("typed")) // the cell editor stays open
                    changed = typeIntoCell(m_ed->DBGrid1, src->index(0, 1), name) != nullptr;
                else if (postedBefore)
                    changed = typeAndReturn(0, 1, name);
                else if (changes)
                    changed = src->setData(src->index(0, 1), name);
                if (!changed)
                    return m_ed->endWait();
                if (how == QLatin1String("post"))
                    QTest::mouseClick(m_ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
                else if (how == QLatin1String("move"))
                    QTest::keyClick(m_ed->DBGrid1, Qt::Key_Down);
                seenBeforeEnd = rowsOfT();
                if (how.endsWith(QLatin1String("close")))
                    m_ed->close();
                else
                    QTest::mouseClick(m_ed->Button1, Qt::LeftButton);
                seenBeforeResume = values(QStringLiteral("select count(*) from t where id = 3"));
            }}));
        QVERIFY(changed);
        QVERIFY(!m_ed->isVisible());
        QCOMPARE(seenBeforeEnd, QStringLiteral("1|%1|10,2|b|20").arg(postedBefore ? name : QStringLiteral("a")));
        QCOMPARE(seenBeforeResume, QStringLiteral("0"));
        // The batch after the editing sees the change.
        QCOMPARE(rowsOfT(), QStringLiteral("1|%1|10,2|b|20,3|%1|30").arg(name));
    }

    // Ctrl+0 writes NULL; emptying a text cell writes an empty text, and a
    // number cell NULL; an editor left without typing keeps NULL. The grid
    // tells NULL from the empty text, before and after reading anew.
    void nullAndEmptyTextStayApart_data() { rowPerEngine(); }

    void nullAndEmptyTextStayApart()
    {
        RUX_ENGINE_ROW(start);
        QStringList seen;
        QVERIFY(runWaiting(QStringLiteral("edit_table items\r\ngo"), {[&]() {
                                DataGrid *grid = m_ed->DBGrid1;
                                DataSource *src = m_ed->DataSource1;
                                const auto nulls = [src]() {
                                    QString marks;
                                    for (int r = 0; r < 2; ++r)
                                        for (int c = 1; c < 3; ++c)
                                            marks += src->index(r, c).data(DataSource::NullRole).toBool() ? u'N' : u'-';
                                    return marks;
                                };
                                grid->setCurrentIndex(src->index(0, 1));
                                QTest::keyClick(grid, Qt::Key_0, Qt::ControlModifier);
                                QTest::keyClick(grid, Qt::Key_Down);
                                const bool typed = typeAndReturn(0, 1, QString()) && typeAndReturn(1, 1, QString())
                                    && typeAndReturn(1, 2, QString());
                                QTest::keyClick(grid, Qt::Key_Up);
                                seen << QString::number(int(typed)) << nulls();
                                src->refresh();
                                seen << nulls() << gridRow(src, 1).join(u'|');
                                m_ed->Button1->click();
                            }}));
        QCOMPARE(seen, (QStringList{"1", "N--N", "N--N", "2||"}));
        QCOMPARE(values(QStringLiteral("select id, coalesce(label, 'NULL'), coalesce(cast(n as text), 'NULL') "
                                       "from items order by id")),
                 QStringLiteral("1|NULL|1,2||NULL"));
    }

    void refusedPostIsShownAndTheWindowKeepsWaiting_data()
    {
        addEngineColumn();
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how"); // button1, post (the navigator's) or close
        QTest::addColumn<QString>("shown");
        const QString check = QStringLiteral("rux_ppp: CHECK constraint failed: v < 100.\n");
        engineRow(Engine::Sqlite, QStringLiteral("check_at_button1")) << 2 << "500" << "button1" << check;
        engineRow(Engine::Sqlite, QStringLiteral("check_at_closing_the_window")) << 2 << "500" << "close" << check;
        const QString pgCheck = QStringLiteral("rux_ppp: new row for relation \"t\" violates check constraint "
                                               "\"t_v_check\": Failing row contains (1, a, 500).\n");
        engineRow(Engine::Postgres, QStringLiteral("check_at_button1")) << 2 << "500" << "button1" << pgCheck;
        engineRow(Engine::Postgres, QStringLiteral("check_at_navigator_post")) << 2 << "500" << "post" << pgCheck;
        engineRow(Engine::Postgres, QStringLiteral("not_null_at_button1"))
            << 1 << kSetNull << "button1"
            << "rux_ppp: null value in column \"name\" of relation \"t\" violates not-null constraint: "
               "Failing row contains (1, null, 10).\n";
        engineRow(Engine::Postgres, QStringLiteral("duplicate_key_at_navigator_post"))
            << 0 << "2" << "post"
            << "rux_ppp: duplicate key value violates unique constraint \"t_pkey\": Key (id)=(2) already exists.\n";
    }

    void refusedPostIsShownAndTheWindowKeepsWaiting()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(QString, shown);
        QStringList seen;
        auto capture = std::make_unique<StderrCapture>();
        const bool ranThrough = runWaiting(
            QStringLiteral("edit_table t\r\ngo\r\ninsert into nokey values (3, 'after')\r\ngo"),
            {
                [&]() {
                    DataSource *src = m_ed->DataSource1;
                    if (typed == kSetNull ? !setNullInCell(0, column) : !typeAndReturn(0, column, typed))
                        return m_ed->endWait();
                    if (how == QLatin1String("button1"))
                        QTest::mouseClick(m_ed->Button1, Qt::LeftButton);
                    else if (how == QLatin1String("post"))
                        QTest::mouseClick(m_ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
                    else
                        m_ed->close();
                    seen << capture->text()
                         << QStringLiteral("waiting %1, visible %2, editing %3")
                                .arg(int(m_ed->waitmode))
                                .arg(int(m_ed->isVisible()))
                                .arg(int(src->state() == State::Edit))
                         << src->data(src->index(0, column)).toString();
                },
                [&]() {
                    // Undone, the row shows the database's values again and the
                    // window ends as usual.
                    m_ed->DataSource1->cancel();
                    seen << gridRow(m_ed->DataSource1, 0).join(u'|');
                    m_ed->Button1->click();
                },
            });
        capture.reset();
        QVERIFY(ranThrough);
        QCOMPARE(seen, (QStringList{shown, "waiting 1, visible 1, editing 1", typed == kSetNull ? QString() : typed,
                                    "1|a|10"}));
        QCOMPARE(rowsOfT(), QStringLiteral("1|a|10,2|b|20"));
        // The run went on after the window was done with.
        QCOMPARE(values(QStringLiteral("select b from nokey where a = 3")), QStringLiteral("after"));
    }

    void appendedRowReadsBackDatabaseValues_data()
    {
        addEngineColumn();
        QTest::addColumn<bool>("down"); // Down on the last row and the navigator's post, or Insert and Button1
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("newRow");
        bothRows(QStringLiteral("down_on_last_row_posted_by_navigator")) << true << 1 << 2;
        bothRows(QStringLiteral("insert_key_posted_by_button1")) << false << 0 << 0;
    }

    void appendedRowReadsBackDatabaseValues()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(bool, down);
        QFETCH(int, startRow);
        QFETCH(int, newRow);
        QStringList seen;
        QVERIFY(runWaiting(QStringLiteral("edit_table items\r\ngo"), {[&]() {
                                DataSource *src = m_ed->DataSource1;
                                m_ed->DBGrid1->setCurrentIndex(src->index(startRow, 2));
                                QTest::keyClick(m_ed->DBGrid1, down ? Qt::Key_Down : Qt::Key_Insert);
                                seen << QStringLiteral("inserting %1, rows %2, current row %3")
                                            .arg(int(src->state() == State::Insert))
                                            .arg(src->rowCount())
                                            .arg(m_ed->DBGrid1->currentIndex().row());
                                // Only n is given: the key and the label's default
                                // come from the database.
                                const bool typed = down ? typeAndReturn(newRow, 2, QStringLiteral("5"))
                                                        : typeIntoCell(m_ed->DBGrid1, src->index(newRow, 2),
                                                                       QStringLiteral("5")) != nullptr;
                                QTest::mouseClick(down ? m_ed->DBNavigator1->button(QStringLiteral("post"))
                                                       : static_cast<QWidget *>(m_ed->Button1),
                                                  Qt::LeftButton);
                                seen << QString::number(int(typed)) << gridRow(src, newRow).join(u'|');
                                if (down)
                                    m_ed->Button1->click();
                            }}));
        QCOMPARE(seen,
                 (QStringList{QStringLiteral("inserting 1, rows 3, current row %1").arg(newRow), "1", "3|new|5"}));
        QCOMPARE(values(QStringLiteral("select id, label, n from items order by id")),
                 QStringLiteral("1|first|1,2|second|2,3|new|5"));
    }

    void ctrlDeleteAsksThenDeletes_data()
    {
        addEngineColumn();
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("left");
        bothRows(QStringLiteral("confirmed")) << true << "2|b|20";
        bothRows(QStringLiteral("cancelled")) << false << "1|a|10,2|b|20";
    }

    void ctrlDeleteAsksThenDeletes()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(bool, answer);
        QFETCH(QString, left);
        DataGrid::confirmDelete = [this, answer](QWidget *) {
            ++m_questions;
            return answer;
        };
        QStringList seen;
        QVERIFY(runWaiting(QStringLiteral("edit_table t\r\ngo"), {[&]() {
                                DataSource *src = m_ed->DataSource1;
                                m_ed->DBGrid1->setCurrentIndex(src->index(0, 1));
                                QTest::keyClick(m_ed->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
                                seen << rowsOfT() << QString::number(src->rowCount())
                                     << src->data(src->index(0, 0)).toString();
                                m_ed->Button1->click();
                            }}));
        QCOMPARE(m_questions, 1);
        QCOMPARE(seen, (QStringList{left, answer ? "1" : "2", answer ? "2" : "1"}));
        QCOMPARE(rowsOfT(), left);
    }

    // An SQLite table has its rowid to edit by: only the server's is read-only.
    void tableWithoutKeyIsReadOnlyInTheEditor_data() { postgresRow(); }

    void tableWithoutKeyIsReadOnlyInTheEditor()
    {
        RUX_ENGINE_ROW(start);
        QStringList seen;
        QVERIFY(runWaiting(QStringLiteral("edit_table nokey\r\ngo"), {[&]() {
                                DataSource *src = m_ed->DataSource1;
                                seen << QString::number(src->rowCount()) << QString::number(int(src->canModify()))
                                     << QString::number(int(bool(src->flags(src->index(0, 1)) & Qt::ItemIsEditable)))
                                     << QString::number(int(src->setData(src->index(0, 1), QStringLiteral("z"))));
                                m_ed->DBGrid1->setCurrentIndex(src->index(1, 1));
                                for (Qt::Key key : {Qt::Key_X, Qt::Key_Down, Qt::Key_Insert})
                                    QTest::keyClick(m_ed->DBGrid1, key);
                                QTest::keyClick(m_ed->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
                                seen << QString::number(int(src->state() == State::Browse))
                                     << QString::number(src->rowCount());
                                m_ed->Button1->click();
                            }}));
        // Rows, can modify, cell editable, setData taken; browsing, rows after the keys.
        QCOMPARE(seen, (QStringList{"2", "0", "0", "0", "1", "2"}));
        QCOMPARE(m_questions, 0);
        QCOMPARE(nokey(), QStringLiteral("1|x,2|y"));
    }

    // The database hands the table's rows over in parts; a post while the grid
    // has read only the first of them must neither lose nor repeat a row.
    void editOfAPartlyReadTableKeepsEveryRowOnce_data() { rowPerEngine(); }

    void editOfAPartlyReadTableKeepsEveryRowOnce()
    {
        RUX_ENGINE_ROW(start);
        QVERIFY(m_db->run({QStringLiteral("create table big (id integer primary key, v text)"),
                           QStringLiteral("insert into big select n, 'v' || n from (%1) s")
                               .arg(seriesSql(engine, 3000))}));
        int readBeforeEdit = -1;
        QSet<QString> ids;
        QString sixth;
        QVERIFY(runWaiting(QStringLiteral("edit_table big\r\ngo"), {[&]() {
                                DataSource *src = m_ed->DataSource1;
                                readBeforeEdit = src->rowCount();
                                if (!typeAndReturn(5, 1, QStringLiteral("edited")))
                                    return m_ed->endWait();
                                QTest::mouseClick(m_ed->DBNavigator1->button(QStringLiteral("post")), Qt::LeftButton);
                                while (src->canFetchMore(QModelIndex()))
                                    src->fetchMore(QModelIndex());
                                for (int r = 0; r < src->rowCount(); ++r)
                                    ids.insert(src->data(src->index(r, 0)).toString());
                                sixth = QStringLiteral("%1 rows, %2")
                                            .arg(src->rowCount())
                                            .arg(src->data(src->index(5, 1)).toString());
                                m_ed->Button1->click();
                            }}));
        QVERIFY2(readBeforeEdit > 5 && readBeforeEdit < 3000, qPrintable(QString::number(readBeforeEdit)));
        QCOMPARE(sixth, QStringLiteral("3000 rows, edited"));
        QCOMPARE(ids.size(), 3000);
        QCOMPARE(values(QStringLiteral("select v from big where id = 6")), QStringLiteral("edited"));
    }

    void trailingResultEditableOnlyOverOneKeyedTable_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("textColumn");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<QString>("after"); // the cell shown, then the rows of t
        const char *unchanged = "a/1|a|10,2|b|20";
        bothRows(QStringLiteral("all_columns_of_keyed_table"))
            << "select * from t order by id" << "name" << true << "main/1|main|10,2|b|20";
        bothRows(QStringLiteral("columns_with_the_key"))
            << "select name, id from t order by id" << "name" << true << "main/1|main|10,2|b|20";
        bothRows(QStringLiteral("columns_without_the_key")) << "select name, v from t order by v" << "name" << false
                                                            << unchanged;
        bothRows(QStringLiteral("join_of_two_tables"))
            << "select t.id, t.name, i.label from t join items i on i.id = t.id order by t.id" << "name" << false
            << unchanged;
        bothRows(QStringLiteral("table_without_key")) << "select * from nokey order by a" << "b" << false
                                                      << "x/1|a|10,2|b|20";
    }

    void trailingResultEditableOnlyOverOneKeyedTable()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(QString, select);
        QFETCH(QString, textColumn);
        QFETCH(bool, editable);
        QFETCH(QString, after);
        Trux_pp1 *m = m_w->main.get();
        // The last batch has no "go": its result stays in the main grid.
        QCOMPARE(m_w->run(QStringLiteral("update t set v = v where id = 1\r\ngo\r\n") + select), QString());
        DataSource *src = m->DataSource1;
        if (src->rowCount() == 0 && src->canFetchMore(QModelIndex()))
            src->fetchMore(QModelIndex());
        QCOMPARE(src->rowCount(), 2);
        int column = src->columnCount() - 1;
        while (column >= 0 && src->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() != textColumn)
            --column;
        QVERIFY(column >= 0);
        QCOMPARE(src->canModify(), editable);
        QCOMPARE(bool(src->flags(src->index(0, column)) & Qt::ItemIsEditable), editable);
        m->DBGrid1->setCurrentIndex(src->index(0, column));
        QCOMPARE(src->setData(src->index(0, column), QStringLiteral("main")), editable);
        // Moving to the next row posts the change.
        m->DBGrid1->setCurrentIndex(src->index(1, column));
        QCOMPARE(src->state(), State::Browse);
        QCOMPARE(src->data(src->index(0, column)).toString() + u'/' + rowsOfT(), after);
        QCOMPARE(nokey(), QStringLiteral("1|x,2|y"));
    }

    // An export clause in an editing batch: reading the closed query fails
    // once the editing is over, and the file keeps what it held.
    void exportClauseOnTheEditingPath_data() { rowPerEngine(); }

    void exportClauseOnTheEditingPath()
    {
        RUX_ENGINE_ROW(start);
        const QString file = m_db->folder() + QStringLiteral("/edit.txt");
        QVERIFY(writeBytes(file, "old"));
        bool shown = false;
        runWaiting(QStringLiteral("edit_table t totxt %1\r\ngo\r\ninsert into t values (3, 'c', 30)\r\ngo").arg(file),
                   {[&]() {
                       shown = m_ed->isVisible() && m_ed->DataSource1->rowCount() == 2;
                       m_ed->Button1->click();
                   }});
        QCOMPARE(m_failure, QStringLiteral("Query1: Operation bei geschlossener Datenmenge nicht ausführbar"));
        QVERIFY(shown);
        QCOMPARE(fileBytes(file), QByteArray("old"));
        QCOMPARE(ids(), QStringLiteral("1,2"));
    }

    void secondEditTableShowsOtherTable_data() { rowPerEngine(); }

    void secondEditTableShowsOtherTable()
    {
        RUX_ENGINE_ROW(start);
        QStringList shown;
        auto look = [&]() {
            QStringList headers;
            for (int c = 0; c < m_ed->DataSource1->columnCount(); ++c)
                headers.append(m_ed->DataSource1->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
            shown.append(headers.join(u',') + u'/' + QString::number(m_ed->DataSource1->rowCount()));
            m_ed->Button1->click();
        };
        QVERIFY(runWaiting(QStringLiteral("edit_table t\r\ngo\r\nEDIT_TABLE u\r\ngo\r\n"
                                           "insert into t values (3, 'c', 30)\r\ngo\r\nedit_table t\r\ngo"),
                            {look, look, look}));
        QCOMPARE(shown, (QStringList{"id,name,v/2", "id,v/1", "id,name,v/3"}));
    }

    // An edit_table batch that names no table fails before the window shows;
    // the batches before it have run, those after it do not.
    void editTableFailsBeforeShowing_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("batch");
        QTest::addColumn<QString>("failure"); // a part of the failure text
        bothRows(QStringLiteral("unknown_table")) << "edit_table nosuch\r\ngo" << "nosuch";
        const QString surplus = failureOf([] { tableNameFromBatch(QStringLiteral("t\r\nselect 1\r\n")); }, {});
        QVERIFY(!surplus.isEmpty());
        bothRows(QStringLiteral("surplus_lines")) << "edit_table t\r\nselect 1\r\ngo" << surplus;
    }

    void editTableFailsBeforeShowing()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(QString, batch);
        QFETCH(QString, failure);
        runWaiting(QStringLiteral("insert into t values (3, 'c', 30)\r\ngo\r\n%1\r\n"
                                  "insert into t values (4, 'd', 40)\r\ngo")
                       .arg(batch),
                   {[&]() { m_ed->Button1->click(); }}, 0);
        QVERIFY2(m_failure.contains(failure) && !m_failure.contains(u'<'), qPrintable(m_failure));
        QVERIFY(!m_ed->isVisible());
        QVERIFY(!m_ed->waitmode);
        QCOMPARE(ids(), QStringLiteral("1,2,3"));
    }

    void focusReturnRunsInitPrjBeforeResume_data() { rowPerEngine(); }

    void focusReturnRunsInitPrjBeforeResume()
    {
        RUX_ENGINE_ROW(start);
        Trux_pp1 *m = m_w->main.get();
        m->StringGrid1->setCell(0, 1, QStringLiteral("$p"));
        m->StringGrid1->setCell(1, 1, QStringLiteral("typed"));
        m->var_count = 1;
        m->run_id = QStringLiteral("42");
        // The activation record must name the editor window for the focus
        // return to count as coming back.
        QStringList afterButton;
        bool focusInEditor = false;
        QVERIFY(runWaiting(QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c', 30)\r\ngo"), {[&]() {
                                // Showing the editor window gave it the keyboard focus.
                                focusInEditor = QTest::qWaitFor([&]() { return m_w->record->recorded() == m_ed; }, 3000);
                                m_ed->Button1->click();
                                afterButton << m->StringGrid1->cell(1, 1) << m->run_id << ids();
                            }}));
        QVERIFY(focusInEditor);
        QCOMPARE(afterButton, (QStringList{"", "-999", "1,2"}));
        QCOMPARE(ids(), QStringLiteral("1,2,3"));
        QCOMPARE(m->var_count, 0);
    }

    void commandsDoNothingDuringWait_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("byButton"); // a press through the failure display, or the handler itself
        for (const QString command : {"execute_script", "open_db", "open_sql"}) {
            bothRows(command + QStringLiteral("_handler")) << command << false;
            bothRows(command + QStringLiteral("_button")) << command << true;
        }
    }

    void commandsDoNothingDuringWait()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(QString, command);
        QFETCH(bool, byButton);
        Trux_pp1 *m = m_w->main.get();
        const QString other = makeOtherFiles();
        m_w->dialogs.openAnswers = {command == QLatin1String("open_db") ? other : other + QStringLiteral(".sql")};
        const QString script = QStringLiteral("insert into t values (3, 'c', 30)\r\ngo\r\nedit_table t\r\ngo\r\n"
                                              "insert into t values (4, 'd', 40)\r\ngo");
        QString idsDuringWait;
        bool stillWaiting = false;
        QVERIFY(runWaiting(script, {[&]() {
                                const int i = int(QStringList{"open_db", "open_sql", "execute_script"}.indexOf(command));
                                QPushButton *const buttons[] = {m->Button1, m->Button2, m->Button6};
                                void (Trux_pp1::*const handlers[])() = {&Trux_pp1::Button1Click, &Trux_pp1::Button2Click,
                                                                        &Trux_pp1::Button6Click};
                                byButton ? buttons[i]->click() : (m->*handlers[i])();
                                QCoreApplication::processEvents();
                                idsDuringWait = ids();
                                stillWaiting = m_ed->waitmode && m_ed->isVisible();
                                m_ed->Button1->click();
                            }}));
        QVERIFY(stillWaiting);
        QCOMPARE(idsDuringWait, QStringLiteral("1,2,3"));
        QCOMPARE(m_w->dialogs.calls(), 0);
        QCOMPARE(m->db_f_name, m_db->dataSource());
        QCOMPARE(m->Label2->text(), AdoConnection::shownDataSource(m_db->dataSource()));
        QCOMPARE(m->sql_f_name, QString());
        QCOMPARE(m->editorLines().text(), script);
        QCOMPARE(ids(), QStringLiteral("1,2,3,4"));
        QCOMPARE(sqlValues(other, QStringLiteral("select count(*) from t")), QStringLiteral("2"));
    }

    void nestedInitPrjSkipsDbSqlGo_data() { rowPerEngine(); }

    void nestedInitPrjSkipsDbSqlGo()
    {
        RUX_ENGINE_ROW(start);
        Trux_pp1 *m = m_w->main.get();
        const QString other = makeOtherFiles();
        m->setArguments({QStringLiteral("DB=") + other, QStringLiteral("SQL=") + other + QStringLiteral(".sql"),
                         QStringLiteral("ERR_P=5"), QStringLiteral("$p=1"), QStringLiteral("GO")});
        const QString script = QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c', 30)\r\ngo");
        QString row;
        QVERIFY(runWaiting(script, {[&]() {
                                m_w->record->focusEntered(m_ed);
                                m_ed->Button1->click();
                                row = m->StringGrid1->cell(0, 1) + u'=' + m->StringGrid1->cell(1, 1);
                            }}));
        QCOMPARE(row, QStringLiteral("$p=1"));
        QCOMPARE(m->run_id, QStringLiteral("5"));
        QCOMPARE(m->db_f_name, m_db->dataSource());
        QCOMPARE(m->editorLines().text(), script);
        QCOMPARE(m->sql_f_name, QString());
        QVERIFY(!m->autorun);
        QVERIFY(m->access_con->connected());
        QCOMPARE(ids(), QStringLiteral("1,2,3"));
        QCOMPARE(sqlValues(other, QStringLiteral("select count(*) from t")), QStringLiteral("2"));
    }

    // While the windows show part of a larger set and wait for the user, the
    // program's session has no transaction and no query open, no session
    // holds a lock on the table for it, and another
    // session's ALTER TABLE and TRUNCATE of the table shown do not wait for it;
    // the rows are read further afterwards all the same.
    void idleWindowsLeaveTheServerFree_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("editor");
        engineRow(Engine::Postgres, QStringLiteral("result_grid")) << "select id, v from big" << "big" << false;
        engineRow(Engine::Postgres, QStringLiteral("table_editor_by_key")) << "edit_table big\r\ngo" << "big" << true;
        engineRow(Engine::Postgres, QStringLiteral("table_editor_without_key"))
            << "edit_table heap\r\ngo" << "heap" << true;
    }

    void idleWindowsLeaveTheServerFree()
    {
        RUX_ENGINE_ROW(start);
        QFETCH(QString, script);
        QFETCH(QString, table);
        QFETCH(bool, editor);
        OtherConnection other(m_db->dataSource());
        QCOMPARE(other.run({QStringLiteral("create table big (id int primary key, v text)"),
                            QStringLiteral("insert into big select g, 'v' || g from generate_series(1, 1000) g"),
                            QStringLiteral("create table heap as select * from big"),
                            QStringLiteral("SET lock_timeout = '2s'")}),
                 QString());
        // The program's own server session; through a pooler it has none
        // of its own.
        QString ours;
        if (!rux::test::throughPooler()) {
            m_w->main->access_con->ensureOpen();
            ours = m_w->main->access_con->dbEngine()
                       .read(QStringLiteral("select pg_backend_pid()"), {})
                       .value(0)
                       .value(0)
                       .toString();
        }
        const QString locks = QStringLiteral("select count(*) from pg_locks l join pg_class c on c.oid = l.relation "
                                             "where c.relname = '%1' and l.pid <> pg_backend_pid()")
                                  .arg(table);

        QStringList seen;
        const GridRun run = runAndCheckGrid(*m_w, editor, script, [&](DataSource *source) {
            seen << QString::number(source->rowCount());
            idleFor(20);
            seen << (ours.isEmpty() ? QStringLiteral("idle")
                                    : other.values(QStringLiteral("select state from pg_stat_activity where pid = ") + ours))
                 << other.values(locks) << other.run({QStringLiteral("alter table %1 add column w int").arg(table)})
                 << other.run({QStringLiteral("truncate ") + table});
            while (source->canFetchMore(QModelIndex()))
                source->fetchMore(QModelIndex());
            seen << QString::number(source->rowCount());
        });
        QCOMPARE(run.shown, QString());
        QVERIFY(!run.timedOut);
        // Altered and truncated at once; a result and a table show what the
        // table holds when each window is read.
        QCOMPARE(seen, (QStringList{"256", "idle", "0", "", "", "256"}));
    }

    // A statement that waits for a row another session has locked: the windows
    // repaint meanwhile, and the wait ends with the server's lock timeout (as
    // long as an SQLite file's busy timeout) instead of hanging the run.
    void waitForAnotherSessionsLockKeepsPaintingAndEnds_data() { postgresRow(); }

    void waitForAnotherSessionsLockKeepsPaintingAndEnds()
    {
        RUX_ENGINE_ROW(start);
        int pumps = 0;
        WindowPump::instance().setBeforePump([&]() { ++pumps; });
        OtherConnection other(m_db->dataSource());
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
        QCOMPARE(rowsOfT(), QStringLiteral("1|a|50,2|b|20"));
    }

    // Last: the program's end, once requested, stays requested. Closing the
    // main window stops the run: a row still pending in the editor is
    // written, the wait ends, and nothing after the batch runs.
    void closingMainWindowStopsTheRun_data() { rowPerEngine(); }

    void closingMainWindowStopsTheRun()
    {
        RUX_ENGINE_ROW(start);
        runWaiting(QStringLiteral("edit_table t\r\ngo\r\ninsert into t values (3, 'c', 30)\r\ngo"), {[&]() {
                       DataSource *src = m_ed->DataSource1;
                       QVERIFY(src->setData(src->index(0, 1), QStringLiteral("pending")));
                       m_w->main->close();
                   }});
        QCOMPARE(m_failure, QStringLiteral("Stopped by the user at line 1"));
        QVERIFY(!m_ed->isVisible());
        QCOMPARE(rowsOfT(), QStringLiteral("1|pending|10,2|b|20"));
        QVERIFY(Program::instance().endRequested());
    }
};

QTEST_MAIN(TestTableEditing)
#include "tst_tableediting.moc"
