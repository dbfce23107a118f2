// The data grid, its data source and the record navigator on a real table:
// typing starts editing, moving posts, Escape undoes, Insert and Down on the
// last row add rows, an untouched new row goes when focus leaves, Ctrl+Delete
// asks before deleting, and a refused post keeps the row pending.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/adotable.h"
#include "db/connectionstring.h"
#include "tests/support/failureof.h"
#include "tests/support/gridinput.h"
#include "tests/support/otherconnection.h"
#include "tests/support/stderrcapture.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/dbnavigator.h"
#include "ui/program.h"
#include "ui/tablescroll.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <memory>

using rux::DataGrid;
using rux::DataSource;
using State = rux::DataSource::State;

class TestDataGrid : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<QWidget> m_window;
    rux::AdoConnection *m_con = nullptr;
    rux::AdoTable *m_table = nullptr;
    DataSource *m_source = nullptr;
    DataGrid *m_grid = nullptr;
    rux::DBNavigator *m_nav = nullptr;
    QLineEdit *m_other = nullptr;
    int m_questions = 0;

    QVariant read(const QString &sql) { return rux::test::sqlValue(m_db, sql); }
    QString indicator(int row) const
    {
        return m_source->headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
    }
    QWidget *focus() const { return QApplication::focusWidget(); }

    void openOn(const QString &table)
    {
        m_table->Close();
        m_table->setTableName(table);
        m_table->Open();
        // The grid reads its first rows itself once the event loop runs.
        QTRY_VERIFY(m_source->rowCount() > 0);
        m_grid->setFocus();
        m_grid->setCurrentIndex(m_source->index(0, 1));
        QCOMPARE(focus(), static_cast<QWidget *>(m_grid));
    }

    // The grid shows a query's result, as the main window's does.
    rux::AdoQuery *openQuery(const QString &sql)
    {
        auto *query = new rux::AdoQuery(m_con, QStringLiteral("Query1"), m_window.get());
        query->sqlAdd(sql);
        query->Open();
        m_source->setDataSet(query);
        return query;
    }

    void typeIntoCurrentCell(const QString &text)
    {
        // The first key opens the cell editor, which takes the others.
        QTest::keyClick(m_grid, text.at(0).toLatin1());
        QVERIFY(focus() && focus() != m_grid && m_grid->isAncestorOf(focus()));
        QTest::keyClicks(focus(), text.mid(1));
        QCOMPARE(qobject_cast<QLineEdit *>(focus())->text(), text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        rux::Program::instance().setHeadless(true);
        rux::Program::instance().setTitle(QStringLiteral("tst_datagrid"));
        DataGrid::confirmDelete = [this](QWidget *) { ++m_questions; return false; };
    }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("grid_%1.db").arg(QTest::currentTestFunction()));
        QFile::remove(m_db);
        rux::test::runSql(m_db, {
            QStringLiteral("create table pk(id integer primary key, name text, n integer default 7)"),
            QStringLiteral("insert into pk values(1, 'a', 10), (2, 'b', 20), (3, 'c', 30)"),
            QStringLiteral("create table strict_t(id integer primary key, n integer check (n > 0))"),
            QStringLiteral("insert into strict_t values(1, 5), (2, 6)"),
            QStringLiteral("create table empty_t(id integer primary key, name text not null)"),
        });
        m_window = std::make_unique<QWidget>();
        m_window->resize(600, 400);
        m_con = new rux::AdoConnection(QStringLiteral("access_con"), m_window.get());
        m_con->setConnectionString(rux::buildConnectionString(m_db));
        m_table = new rux::AdoTable(m_con, QStringLiteral("ADOTable1"), m_window.get());
        m_source = new DataSource(m_window.get());
        m_source->setDataSet(m_table);
        m_grid = new DataGrid(m_window.get());
        m_grid->setGeometry(0, 0, 500, 300);
        m_grid->setDataSource(m_source);
        m_nav = new rux::DBNavigator(m_window.get());
        m_nav->setGeometry(0, 310, 530, 25);
        m_nav->setGrid(m_grid);
        m_other = new QLineEdit(m_window.get());
        m_other->setGeometry(0, 350, 100, 20);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_questions = 0;
        openOn(QStringLiteral("pk"));
    }

    void cleanup()
    {
        m_window.reset();
    }

    void typingStartsEditing()
    {
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(indicator(0), QStringLiteral("\u25B6"));
        typeIntoCurrentCell(QStringLiteral("x"));
        QCOMPARE(m_source->state(), State::Edit);
        QCOMPARE(m_source->editRow(), 0);
        QCOMPARE(indicator(0), QStringLiteral("I"));
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("a"));
    }

    // The table editor (a table) and the result grid (a query) alike.
    void keysTypedRightAfterAClickArrive_data()
    {
        QTest::addColumn<bool>("query");
        QTest::newRow("table") << false;
        QTest::newRow("result") << true;
    }

    void keysTypedRightAfterAClickArrive()
    {
        QFETCH(bool, query);
        if (query) {
            openQuery(QStringLiteral("select * from pk order by id"));
            QTRY_COMPARE(m_source->rowCount(), 3);
        }
        m_grid->setFocus();
        m_grid->setCurrentIndex(m_source->index(1, 1));
        rux::test::clickCurrentCellAndType(m_grid, QStringLiteral("9x"));
        auto *editor = qobject_cast<QLineEdit *>(focus());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("9x"));
        QCOMPARE(m_source->data(m_source->index(1, 1)).toString(), QStringLiteral("9x"));
        QTest::keyClick(editor, Qt::Key_Up);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 2")).toString(), QStringLiteral("9x"));
    }

    void movingToAnotherRowPosts()
    {
        typeIntoCurrentCell(QStringLiteral("zz"));
        QTest::keyClick(focus(), Qt::Key_Down);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(m_grid->currentIndex().row(), 1);
        QCOMPARE(indicator(0), QString());
        QCOMPARE(indicator(1), QStringLiteral("\u25B6"));
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("zz"));
        QCOMPARE(m_source->data(m_source->index(0, 1)).toString(), QStringLiteral("zz"));
    }

    void movingWithinTheRowDoesNotPost()
    {
        typeIntoCurrentCell(QStringLiteral("q"));
        QTest::keyClick(focus(), Qt::Key_Return);
        QTest::keyClick(m_grid, Qt::Key_Right);
        QCOMPARE(m_grid->currentIndex(), m_source->index(0, 2));
        QCOMPARE(m_source->state(), State::Edit);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("a"));
    }

    void escapeUndoes_data()
    {
        QTest::addColumn<bool>("closeEditorFirst");
        QTest::newRow("escape_in_open_editor") << false;
        QTest::newRow("escape_after_enter") << true;
    }

    void escapeUndoes()
    {
        QFETCH(bool, closeEditorFirst);
        typeIntoCurrentCell(QStringLiteral("gone"));
        if (closeEditorFirst) {
            QTest::keyClick(focus(), Qt::Key_Return);
            QTRY_COMPARE(focus(), static_cast<QWidget *>(m_grid));
            QCOMPARE(m_source->state(), State::Edit);
        }
        QTest::keyClick(focus(), Qt::Key_Escape);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(m_source->data(m_source->index(0, 1)).toString(), QStringLiteral("a"));
        QCOMPARE(indicator(0), QStringLiteral("\u25B6"));
        // Moving on afterwards writes nothing.
        QTest::keyClick(focus(), Qt::Key_Down);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("a"));
    }

    void tabMovesFromCellToCell()
    {
        typeIntoCurrentCell(QStringLiteral("t"));
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTRY_COMPARE(m_grid->currentIndex(), m_source->index(0, 2));
        QCOMPARE(m_source->state(), State::Edit);
        // Past the last column the cursor goes to the next row: the row posts.
        m_grid->setFocus();
        QTest::keyClick(m_grid, Qt::Key_Tab);
        QTRY_COMPARE(m_grid->currentIndex(), m_source->index(1, 0));
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("t"));
    }

    // An empty table: Insert starts its first row; the engine refuses it
    // while a required value is missing, and the new row stays pending.
    void firstRowOfAnEmptyTable()
    {
        m_table->Close();
        m_table->setTableName(QStringLiteral("empty_t"));
        m_table->Open();
        QCOMPARE(m_source->rowCount(), 0);
        m_grid->setFocus();
        QTest::keyClick(m_grid, Qt::Key_Insert);
        QCOMPARE(m_source->state(), State::Insert);
        QCOMPARE(m_source->rowCount(), 1);
        QCOMPARE(indicator(0), QStringLiteral("*"));
        QCOMPARE(m_grid->currentIndex().row(), 0);
        typeIntoCurrentCell(QStringLiteral("5"));
        QTest::keyClick(focus(), Qt::Key_Return);
        const QByteArray shown = rux::test::stderrOf(
            [&]() { QTest::mouseClick(m_nav->button(QStringLiteral("post")), Qt::LeftButton); });
        QVERIFY2(shown.contains("NOT NULL constraint failed"), shown.constData());
        QCOMPARE(m_source->state(), State::Insert);
        QCOMPARE(read(QStringLiteral("select count(*) from empty_t")).toInt(), 0);

        m_grid->setCurrentIndex(m_source->index(0, 1));
        typeIntoCurrentCell(QStringLiteral("first"));
        QTest::keyClick(focus(), Qt::Key_Return);
        QTest::mouseClick(m_nav->button(QStringLiteral("post")), Qt::LeftButton);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(m_source->rowCount(), 1);
        QCOMPARE(read(QStringLiteral("select id || name from empty_t")).toString(), QStringLiteral("5first"));
    }

    void insertKeyInsertsBeforeCurrentRow()
    {
        m_grid->setCurrentIndex(m_source->index(1, 1));
        QTest::keyClick(m_grid, Qt::Key_Insert);
        QCOMPARE(m_source->state(), State::Insert);
        QCOMPARE(m_source->editRow(), 1);
        QCOMPARE(m_source->rowCount(), 4);
        QCOMPARE(indicator(1), QStringLiteral("*"));
        QCOMPARE(m_grid->currentIndex().row(), 1);
        QCOMPARE(m_source->data(m_source->index(2, 1)).toString(), QStringLiteral("b"));
        typeIntoCurrentCell(QStringLiteral("new"));
        QTest::keyClick(focus(), Qt::Key_Up);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(read(QStringLiteral("select n from pk where name = 'new'")).toInt(), 7);
        QCOMPARE(m_source->rowCount(), 4);
        QCOMPARE(m_source->data(m_source->index(1, 1)).toString(), QStringLiteral("new"));
        QCOMPARE(m_source->data(m_source->index(1, 2)).toString(), QStringLiteral("7"));
    }

    void downOnLastRowAppends()
    {
        m_grid->setCurrentIndex(m_source->index(2, 1));
        QTest::keyClick(m_grid, Qt::Key_Down);
        QCOMPARE(m_source->state(), State::Insert);
        QCOMPARE(m_source->editRow(), 3);
        QCOMPARE(m_grid->currentIndex().row(), 3);
        QCOMPARE(indicator(3), QStringLiteral("*"));
        // Down on the untouched new row adds no second one.
        QTest::keyClick(m_grid, Qt::Key_Down);
        QCOMPARE(m_source->rowCount(), 4);
        typeIntoCurrentCell(QStringLiteral("d"));
        QTest::keyClick(focus(), Qt::Key_Return);
        QTest::keyClick(m_grid, Qt::Key_Up);
        QCOMPARE(read(QStringLiteral("select count(*) from pk")).toInt(), 4);
        QCOMPARE(m_source->rowCount(), 4);
    }

    void untouchedAppendedRowDroppedOnFocusLoss()
    {
        m_grid->setCurrentIndex(m_source->index(2, 1));
        QTest::keyClick(m_grid, Qt::Key_Down);
        QCOMPARE(m_source->rowCount(), 4);
        m_other->setFocus();
        QCOMPARE(focus(), static_cast<QWidget *>(m_other));
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(m_source->rowCount(), 3);
        QCOMPARE(read(QStringLiteral("select count(*) from pk")).toInt(), 3);
    }

    void ctrlDeleteAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("left");
        QTest::newRow("answer_ok") << true << 2;
        QTest::newRow("answer_cancel") << false << 3;
    }

    void ctrlDeleteAsksFirst()
    {
        QFETCH(bool, answer);
        QFETCH(int, left);
        DataGrid::confirmDelete = [this, answer](QWidget *) { ++m_questions; return answer; };
        m_grid->setCurrentIndex(m_source->index(1, 0));
        QTest::keyClick(m_grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(m_questions, 1);
        QCOMPARE(m_source->rowCount(), left);
        QCOMPARE(read(QStringLiteral("select count(*) from pk")).toInt(), left);
        QCOMPARE(read(QStringLiteral("select count(*) from pk where id = 2")).toInt(), answer ? 0 : 1);
        // Delete without Ctrl deletes nothing and asks nothing.
        QTest::keyClick(m_grid, Qt::Key_Delete);
        QCOMPARE(m_questions, 1);
        DataGrid::confirmDelete = [this](QWidget *) { ++m_questions; return false; };
    }

    // However the user tries to leave the refused row, the cursor, the
    // highlight and the edit marker stay on it.
    void refusedPostKeepsRowPending_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("down_key") << 0;
        QTest::newRow("tab_past_last_column") << 1;
        QTest::newRow("click_on_next_row") << 2;
        QTest::newRow("click_on_next_row_indicator") << 3;
    }

    void refusedPostKeepsRowPending()
    {
        QFETCH(int, how);
        openOn(QStringLiteral("strict_t"));
        typeIntoCurrentCell(QStringLiteral("-1"));
        const QByteArray shown = rux::test::stderrOf([&]() {
            if (how == 0)
                QTest::keyClick(focus(), Qt::Key_Down);
            else if (how == 1)
                QTest::keyClick(focus(), Qt::Key_Tab);
            else if (how == 2)
                QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  m_grid->visualRect(m_source->index(1, 0)).center());
            else
                QTest::mouseClick(m_grid->verticalHeader()->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  QPoint(5, m_grid->verticalHeader()->sectionViewportPosition(1) + 5));
        });
        QCOMPARE(shown, QByteArray("tst_datagrid: CHECK constraint failed: n > 0.\n"));
        QCOMPARE(m_source->state(), State::Edit);
        QCOMPARE(m_source->editRow(), 0);
        QCOMPARE(m_grid->currentIndex().row(), 0);
        for (const QModelIndex &selected : m_grid->selectionModel()->selectedIndexes())
            QCOMPARE(selected.row(), 0);
        QCOMPARE(indicator(0), QStringLiteral("I"));
        QCOMPARE(indicator(1), QString());
        QCOMPARE(m_source->data(m_source->index(0, 1)).toString(), QStringLiteral("-1"));
        QCOMPARE(read(QStringLiteral("select n from strict_t where id = 1")).toInt(), 5);
        // Corrected, the row posts. A key kept the cell editor open with
        // the typed text; a click closed it.
        if (!qobject_cast<QLineEdit *>(focus()))
            m_grid->edit(m_grid->currentIndex());
        auto *editor = qobject_cast<QLineEdit *>(focus());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("8"));
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(read(QStringLiteral("select n from strict_t where id = 1")).toInt(), 8);
    }

    // The data source alone, as the navigator and the windows drive it.
    void dataSourceKeepsOnePendingRow()
    {
        const QModelIndex name0 = m_source->index(0, 1);
        QVERIFY(m_source->flags(name0) & Qt::ItemIsEditable);
        QVERIFY(m_source->setData(name0, QStringLiteral("m")));
        QCOMPARE(m_source->state(), State::Edit);
        QVERIFY(m_source->modified());
        QCOMPARE(m_source->data(name0).toString(), QStringLiteral("m"));
        // Only the pending row takes values.
        QVERIFY(!m_source->setData(m_source->index(1, 1), QStringLiteral("no")));
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("a"));
        m_source->post();
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("m"));

        // The same text again starts no edit.
        QVERIFY(!m_source->setData(name0, QStringLiteral("m")));
        QCOMPARE(m_source->state(), State::Browse);

        m_source->insertAt(1);
        QCOMPARE(m_source->rowCount(), 4);
        QCOMPARE(m_source->data(m_source->index(1, 1)).toString(), QString());
        QCOMPARE(m_source->data(m_source->index(2, 1)).toString(), QStringLiteral("b"));
        // An untouched new row posts to nothing.
        m_source->post();
        QCOMPARE(m_source->rowCount(), 3);
        QCOMPARE(read(QStringLiteral("select count(*) from pk")).toInt(), 3);

        m_source->insertAt(3);
        QVERIFY(m_source->setData(m_source->index(3, 1), QStringLiteral("tail")));
        m_source->post();
        QCOMPARE(m_source->rowCount(), 4);
        QCOMPARE(m_source->data(m_source->index(3, 0)).toString(), QStringLiteral("4"));
        QCOMPARE(m_source->data(m_source->index(3, 2)).toString(), QStringLiteral("7"));

        m_source->deleteRow(0);
        QCOMPARE(m_source->rowCount(), 3);
        QCOMPARE(m_source->data(m_source->index(0, 1)).toString(), QStringLiteral("b"));
        QCOMPARE(read(QStringLiteral("select count(*) from pk")).toInt(), 3);
    }

    void dataSourceRefusedPostStaysPending()
    {
        m_table->Close();
        m_table->setTableName(QStringLiteral("strict_t"));
        m_table->Open();
        QTRY_VERIFY(m_source->rowCount() > 0);
        QVERIFY(m_source->setData(m_source->index(1, 1), QStringLiteral("0")));
        const QString failure = rux::test::failureOf([this] { m_source->post(); });
        QVERIFY2(failure.contains(QStringLiteral("CHECK constraint failed")), qPrintable(failure));
        QCOMPARE(m_source->state(), State::Edit);
        QCOMPARE(m_source->editRow(), 1);
        QCOMPARE(m_source->data(m_source->index(1, 1)).toString(), QStringLiteral("0"));
        m_source->cancel();
        QCOMPARE(m_source->data(m_source->index(1, 1)).toString(), QStringLiteral("6"));
    }

    // A result the engine cannot write back: the grid shows it and edits
    // nothing.
    void readOnlyResultIsNotEdited()
    {
        openQuery(QStringLiteral("select id, n * 2 as twice from pk"));
        QTRY_COMPARE(m_source->rowCount(), 3);
        // The current row shows before the grid is clicked.
        QCOMPARE(indicator(0), QStringLiteral("\u25B6"));
        QVERIFY(!m_source->canModify());
        // The cells look read-only and say why.
        const QModelIndex cell = m_source->index(0, 1);
        QVERIFY(m_source->data(cell, Qt::BackgroundRole).isValid());
        QVERIFY2(m_source->data(cell, Qt::ToolTipRole).toString().startsWith(QStringLiteral("Read-only: ")),
                 qPrintable(m_source->data(cell, Qt::ToolTipRole).toString()));
        QVERIFY(!(m_source->flags(m_source->index(0, 1)) & Qt::ItemIsEditable));
        QVERIFY(!m_source->setData(m_source->index(0, 1), QStringLiteral("1")));
        m_grid->setFocus();
        m_grid->setCurrentIndex(m_source->index(2, 1));
        QTest::keyClick(m_grid, Qt::Key_X);
        QCOMPARE(focus(), static_cast<QWidget *>(m_grid));
        // The key is answered at the cell with the reason.
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), m_source->readOnlyReason());
        QTest::keyClick(m_grid, Qt::Key_Insert);
        QTest::keyClick(m_grid, Qt::Key_Down);
        QTest::keyClick(m_grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(m_source->rowCount(), 3);
        QCOMPARE(m_questions, 0);
        QCOMPARE(m_source->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("twice"));
    }

    // The scroll bar spans the whole table: moving it beyond the rows held
    // reads the window at its place, within them scrolls; the thumb stays
    // where it was left, and follows the grid's own scrolling.
    void scrollBarSpansTheWholeTable()
    {
        rux::test::runSql(m_db, {QStringLiteral("create table big(id integer primary key, v text)"),
                                 QStringLiteral("insert into big select n, 'r' || n from (with recursive c(n) as "
                                                "(select 1 union all select n + 1 from c where n < 5000) "
                                                "select n from c)")});
        openOn(QStringLiteral("big"));
        QScrollBar *bar = m_grid->wholeTableScroll()->bar();
        QScrollBar *own = m_grid->verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->maximum(), 5000 - bar->pageStep());
        QCOMPARE(bar->geometry(), own->geometry());
        const auto topRow = [this]() {
            return m_source->index(m_grid->rowAt(0), 0).data().toString();
        };
        bar->setSliderDown(true);
        bar->setSliderPosition(2500);
        QTRY_COMPARE(topRow(), QStringLiteral("2501"));
        QCOMPARE(m_source->firstRowAt(), qint64(2500));
        bar->setSliderPosition(2510);
        QTRY_COMPARE(topRow(), QStringLiteral("2511"));
        bar->setSliderDown(false);
        QCOMPARE(m_source->firstRowAt(), qint64(2500));
        QCOMPARE(bar->value(), 2510);
        own->setValue(own->value() + 10);
        QCOMPARE(bar->value(), 2520);
        // The last place shows the last rows.
        bar->setValue(bar->maximum());
        QTRY_COMPARE(m_source->index(m_source->rowCount() - 1, 0).data().toString(), QStringLiteral("5000"));
        QTRY_COMPARE(m_grid->rowAt(m_grid->viewport()->height() - 1), m_source->rowCount() - 1);
    }

    // The result grid over an editable query posts through the query.
    void editableQueryPostsThroughTheQuery()
    {
        rux::AdoQuery *query = openQuery(QStringLiteral("select * from pk order by id"));
        QTRY_COMPARE(m_source->rowCount(), 3);
        QVERIFY(m_source->canModify());
        QVERIFY(!m_source->data(m_source->index(0, 1), Qt::BackgroundRole).isValid());
        QVERIFY(!m_source->data(m_source->index(0, 1), Qt::ToolTipRole).isValid());
        m_grid->setFocus();
        m_grid->setCurrentIndex(m_source->index(1, 1));
        typeIntoCurrentCell(QStringLiteral("via query"));
        QTest::keyClick(focus(), Qt::Key_Up);
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 2")).toString(), QStringLiteral("via query"));
        // Closing the query empties the grid.
        query->Close();
        QCOMPARE(m_source->rowCount(), 0);
        QCOMPARE(m_source->columnCount(), 0);
    }

    // Columns fit the title and the rows read so far, up to a bound; more
    // rows widen them, except a column the user has sized.
    void columnWidthsFitTheirTexts()
    {
        QStringList rows;
        for (int i = 1; i <= 3 * rux::SqlDataSet::kWindowRows; ++i) {
            const int codeLength = i == 300 ? 30 : i == 700 ? 40 : 10;
            rows << QStringLiteral("(%1, '%2', '%3', 1)").arg(i).arg(QString(codeLength, u'C'), QString(120, u'n'));
        }
        rux::test::runSql(m_db, {
            QStringLiteral("create table widths(id integer primary key, code text, note text, "
                           "a_rather_long_column_title integer)"),
            QStringLiteral("insert into widths values ") + rows.join(u','),
        });
        openOn(QStringLiteral("widths"));
        QHeaderView *titles = m_grid->horizontalHeader();
        QCOMPARE(m_source->rowCount(), rux::SqlDataSet::kWindowRows);
        QCOMPARE(m_grid->columnWidth(2), DataGrid::kMaxFittedWidth);
        QVERIFY(m_grid->columnWidth(3) >= titles->sectionSizeHint(3));
        QVERIFY(m_grid->columnWidth(0) < m_grid->columnWidth(1));
        // Wide enough that the toolkit draws the texts whole.
        const QAbstractItemView *view = m_grid;
        for (int c = 0; c < 2; ++c)
            QVERIFY(m_grid->columnWidth(c) >= view->sizeHintForColumn(c));
        const int code = m_grid->columnWidth(1);
        m_source->fetchMore(QModelIndex());
        QVERIFY(m_grid->columnWidth(1) > code);
        titles->resizeSection(1, 50);
        m_source->fetchMore(QModelIndex());
        QCOMPARE(m_source->rowCount(), 3 * rux::SqlDataSet::kWindowRows);
        QCOMPARE(m_grid->columnWidth(1), 50);
        // Read anew, the columns fit again.
        m_source->refresh();
        QTRY_VERIFY(m_grid->columnWidth(1) >= code);
    }

    void navigatorButtonsInOrder()
    {
        const QStringList expected = {"first", "prior", "next", "last", "insert",
                                      "delete", "edit", "post", "cancel", "refresh"};
        QStringList names;
        int left = -1;
        for (QObject *child : m_nav->children()) {
            if (auto *b = qobject_cast<QPushButton *>(child)) {
                names << b->objectName();
                QVERIFY(b->geometry().left() > left);
                left = b->geometry().left();
                QCOMPARE(b->height(), 25);
            }
        }
        QCOMPARE(names, expected);
        QCOMPARE(m_nav->button(QStringLiteral("refresh"))->geometry().right(), 529);
    }

    void navigatorMovesAndEdits()
    {
        auto click = [this](const char *name) {
            QPushButton *b = m_nav->button(QString::fromLatin1(name));
            QVERIFY(b);
            QTest::mouseClick(b, Qt::LeftButton);
        };
        click("last");
        QCOMPARE(m_grid->currentIndex().row(), 2);
        click("prior");
        QCOMPARE(m_grid->currentIndex().row(), 1);
        click("first");
        QCOMPARE(m_grid->currentIndex().row(), 0);
        click("prior");
        QCOMPARE(m_grid->currentIndex().row(), 0);
        click("next");
        QCOMPARE(m_grid->currentIndex().row(), 1);

        click("edit");
        auto *editor = qobject_cast<QLineEdit *>(focus());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("posted"));
        click("post");
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(read(QStringLiteral("select name from pk where id = 2")).toString(), QStringLiteral("posted"));

        click("insert");
        QCOMPARE(m_source->state(), State::Insert);
        QCOMPARE(indicator(1), QStringLiteral("*"));
        click("cancel");
        QCOMPARE(m_source->state(), State::Browse);
        QCOMPARE(m_source->rowCount(), 3);

        rux::test::runSql(m_db, {QStringLiteral("update pk set name = 'outside' where id = 3")});
        click("refresh");
        while (m_source->canFetchMore(QModelIndex()))
            m_source->fetchMore(QModelIndex());
        QCOMPARE(m_source->data(m_source->index(2, 1)).toString(), QStringLiteral("outside"));

        DataGrid::confirmDelete = [this](QWidget *) { ++m_questions; return true; };
        m_grid->setCurrentIndex(m_source->index(0, 0));
        click("delete");
        QCOMPARE(m_questions, 1);
        QCOMPARE(read(QStringLiteral("select count(*) from pk")).toInt(), 2);
        DataGrid::confirmDelete = [this](QWidget *) { ++m_questions; return false; };
    }

    void closedSetShowsEmptyGrid()
    {
        m_table->Close();
        QCOMPARE(m_source->rowCount(), 0);
        QCOMPARE(m_source->columnCount(), 0);
    }
};

QTEST_MAIN(TestDataGrid)
#include "tst_datagrid.moc"
