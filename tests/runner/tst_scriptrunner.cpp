// The script runner and the statement executor on the real main window:
// how editor lines become batches, which batches are protected, what stays
// in the query and the result grid, how batches are classified and run, and
// the export files they write.

#include "tests/support/windowfixture.h"

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "exec/runlog.h"
#include "script/scriptlines.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/stringgrid.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

using namespace rux;
using namespace rux::test;

class TestScriptRunner : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_db;
    int m_dbCount = 0;
    std::unique_ptr<Windows> m_w;

    // A fresh database for every test: t(id, name) with three rows and an
    // empty log.
    QString freshDatabase()
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_dbCount));
        makeDatabase(path, {
            QStringLiteral("create table t(id integer primary key, name text)"),
            QStringLiteral("insert into t values(1, 'a'), (2, 'b'), (3, 'c')"),
            QStringLiteral("create table log(v text)"),
            QStringLiteral("create table counts(id integer primary key, update_count integer)"),
            QStringLiteral("insert into counts values(1, 7)"),
        });
        return path;
    }

    // The grid's model hands out rows as the view asks for them; a test
    // asks for all of them.
    static QAbstractItemModel *fetched(QAbstractItemModel *model)
    {
        while (model && model->canFetchMore(QModelIndex()))
            model->fetchMore(QModelIndex());
        return model;
    }

    QString logOf() { return sqlValues(m_db, QStringLiteral("select v from log order by rowid")); }

    QString run(const QString &script)
    {
        return m_w->run(script);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_w = std::make_unique<Windows>();
        m_db = freshDatabase();
        m_w->openDatabase(m_db);
    }

    void cleanup() { m_w.reset(); }

    // Batches, "go" lines, comments and the drop protection: what reaches
    // the database and which failure ends the run.
    void lineSorting_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("failure"); // a part of the failure text; empty: none

        // Had the blanked "go" not ended the batch, the engine would see
        // "go" in the statement and fail.
        QTest::newRow("go_with_blanks_and_tabs_around")
            << "insert into log values('a')\r\n \t go\t \r\ninsert into log values('b')\r\ngo\r\n"
            << "a,b" << "";
        QTest::newRow("go_in_capitals_goes_to_the_engine")
            << "insert into log values('a')\r\nGO\r\ninsert into log values('b')\r\ngo\r\n"
            << "" << "syntax error";
        QTest::newRow("go_with_capital_g_goes_to_the_engine")
            << "insert into log values('a')\r\nGo\r\ngo\r\n" << "" << "syntax error";
        QTest::newRow("go_with_semicolon_goes_to_the_engine")
            << "insert into log values('a')\r\ngo;\r\ninsert into log values('b')\r\ngo\r\n"
            << "" << "syntax error";
        // The remark line is dropped, so the statement goes on over it: the
        // two lines make one insert of two rows.
        QTest::newRow("go_with_remark_does_not_end_the_batch")
            << "insert into log values('a')\r\ngo # end of part one\r\n,('b')\r\ngo\r\n"
            << "a,b" << "";
        QTest::newRow("apostrophe_line_is_a_comment")
            << "'select this would fail\r\ninsert into log values('a')\r\ngo\r\n" << "a" << "";
        QTest::newRow("apostrophe_after_a_blank_is_a_statement")
            << " 'not a comment\r\ngo\r\ninsert into log values('a')\r\ngo\r\n" << "" << "unrecognized token";
        QTest::newRow("hash_line_is_dropped")
            << "# select this would fail\r\ninsert into log values('a')\r\ngo\r\n" << "a" << "";
        // Kept, the second line would be a second statement in the batch.
        QTest::newRow("hash_inside_a_literal_drops_the_line")
            << "insert into log values('a');\r\ninsert into log values('#');\r\ngo\r\n" << "a" << "";
        QTest::newRow("empty_lines_are_skipped")
            << "\r\n\r\ninsert into log values('a')\r\n\r\ngo\r\n\r\n" << "a" << "";
        QTest::newRow("blank_line_joins_the_batch")
            << "insert into log values('a')\r\n   \r\n,('b')\r\ngo\r\n" << "a,b" << "";
        QTest::newRow("drop_in_lower_case_fails_silently")
            << "drop table nosuch\r\ngo\r\ninsert into log values('a')\r\ngo\r\n" << "a" << "";
        QTest::newRow("drop_on_a_later_line_protects_the_batch")
            << "select * from nosuch\r\n-- drop nothing\r\ngo\r\ninsert into log values('a')\r\ngo\r\n"
            << "a" << "";
        QTest::newRow("drop_in_capitals_ends_the_run")
            << "DROP TABLE nosuch\r\ngo\r\ninsert into log values('a')\r\ngo\r\n" << ""
            << "no such table: nosuch";
        QTest::newRow("drop_inside_a_longer_name_protects")
            << "select * from dropzone\r\ngo\r\ninsert into log values('a')\r\ngo\r\n" << "a" << "";
        QTest::newRow("protection_ends_with_its_batch")
            << "drop table nosuch\r\ngo\r\nselect * from nosuch\r\ngo\r\ninsert into log values('a')\r\ngo\r\n"
            << "" << "no such table: nosuch";
        QTest::newRow("drop_in_a_trailing_batch_is_not_protected")
            << "insert into log values('a')\r\ngo\r\ndrop table nosuch\r\n" << "a"
            << "no such table: nosuch";
        QTest::newRow("only_comments_and_empty_lines_run_nothing")
            << "# one\r\n'two\r\n\r\ngo # three\r\n" << "" << "";
    }

    void lineSorting()
    {
        QFETCH(QString, script);
        QFETCH(QString, log);
        QFETCH(QString, failure);

        const QString error = run(script);
        if (failure.isEmpty())
            QVERIFY2(error.isEmpty(), qPrintable(error));
        else
            QVERIFY2(error.contains(failure), qPrintable(error));
        QCOMPARE(logOf(), log);
    }

    // The trailing batch stays open and shown; a batch ended by "go" is
    // released at once.
    void resultOfTheLastBatch_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("rows");

        QTest::newRow("script_without_go_stays_shown")
            << "select name from t\r\norder by id\r\n" << true << 3;
        QTest::newRow("trailing_batch_after_go_stays_shown")
            << "insert into log values('a')\r\ngo\r\nselect name from t order by id" << true << 3;
        QTest::newRow("last_batch_ending_with_go_leaves_the_grid_empty")
            << "select name from t order by id\r\ngo\r\n" << false << 0;
        QTest::newRow("trailing_comment_after_go_leaves_the_grid_empty")
            << "select name from t order by id\r\ngo\r\n# done\r\n" << false << 0;
    }

    void resultOfTheLastBatch()
    {
        QFETCH(QString, script);
        QFETCH(bool, open);
        QFETCH(int, rows);

        const QString error = run(script);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(m_w->main->Query1->active(), open);
        QAbstractItemModel *model = fetched(m_w->main->DBGrid1->model());
        QVERIFY(model);
        QCOMPARE(model->rowCount(), rows);
        if (rows > 0) {
            QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("a"));
            QCOMPARE(model->data(model->index(2, 0)).toString(), QStringLiteral("c"));
            QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                     QStringLiteral("name"));
        } else {
            QVERIFY(m_w->main->Query1->sqlText().isEmpty());
        }
    }

    // A "go" with nothing collected before it sends the empty text to the
    // query, which ends the run.
    void emptyBatchEndsTheRun_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("log");

        QTest::newRow("two_go_in_a_row")
            << "insert into log values('a')\r\ngo\r\ngo\r\ninsert into log values('b')\r\ngo\r\n" << "a";
        QTest::newRow("script_starting_with_go") << "go\r\ninsert into log values('a')\r\ngo\r\n" << "";
        QTest::newRow("go_after_comments_only")
            << "'nothing\r\n# here\r\n\r\ngo\r\ninsert into log values('a')\r\n" << "";
        QTest::newRow("empty_batch_after_a_drop_batch_is_not_protected")
            << "drop table nosuch\r\ngo\r\ngo\r\ninsert into log values('a')\r\n" << "";
    }

    void emptyBatchEndsTheRun()
    {
        QFETCH(QString, script);
        QFETCH(QString, log);

        QCOMPARE(run(script), QStringLiteral("Query1: Eigenschaft SQL fehlt"));
        QCOMPARE(logOf(), log);
    }

    // A failure ends the run at once: the query keeps the failed batch, the
    // batches before it stay done, those after it never run.
    void failureKeepsTheFailedBatch()
    {
        const QString error = run(QStringLiteral(
            "insert into log values('a')\r\ngo\r\n"
            "insert into nosuch\r\n  values(1)\r\ngo\r\n"
            "insert into log values('c')\r\ngo\r\n"));
        QVERIFY2(error.contains(QStringLiteral("no such table: nosuch")), qPrintable(error));
        QCOMPARE(m_w->main->Query1->sqlLines(),
                 (QStringList{QStringLiteral("insert into nosuch"), QStringLiteral("  values(1)")}));
        QCOMPARE(m_w->main->Query1->sqlText(), QStringLiteral("insert into nosuch\r\n  values(1)\r\n"));
        QCOMPARE(logOf(), QStringLiteral("a"));
        QVERIFY(!m_w->main->running());
    }

    // The check box shows the class of the batch run last; a state given
    // by hand is overwritten before it is read.
    void dataChangeCheckBox_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("tickedByHand");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("log");

        QTest::newRow("last_batch_insert_ticks")
            << "select name from t\r\ngo\r\ninsert into log values('a')\r\ngo\r\n" << false << true << false
            << "a";
        QTest::newRow("last_batch_select_unticks")
            << "insert into log values('a')\r\ngo\r\nselect name from t\r\n" << false << false << true << "a";
        QTest::newRow("tick_by_hand_does_not_make_a_select_a_change")
            << "select name from t\r\n" << true << false << true << "";
        QTest::newRow("untick_by_hand_does_not_stop_an_insert")
            << "insert into log values('a')\r\n" << false << true << false << "a";
    }

    void dataChangeCheckBox()
    {
        QFETCH(QString, script);
        QFETCH(bool, tickedByHand);
        QFETCH(bool, ticked);
        QFETCH(bool, open);
        QFETCH(QString, log);

        m_w->main->CheckBox1->setChecked(!ticked);
        if (tickedByHand)
            m_w->main->CheckBox1->setChecked(true);
        const QString error = run(script);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(m_w->main->CheckBox1->isChecked(), ticked);
        QCOMPARE(m_w->main->Query1->active(), open);
        QCOMPARE(logOf(), log);
    }

    // Each line is read from the editor when the run reaches it: a change
    // made while the run processes events before a batch is seen by the
    // lines after it.
    void linesAreReadWhenReached_data()
    {
        QTest::addColumn<int>("changedLine");
        QTest::addColumn<QString>("log");

        QTest::newRow("later_line_changed_is_run_as_changed") << 2 << "a,changed";
        QTest::newRow("line_already_run_changes_nothing") << 0 << "a,b";
    }

    void linesAreReadWhenReached()
    {
        QFETCH(int, changedLine);
        QFETCH(QString, log);

        rux::ScriptLines &lines = m_w->main->editorLines();
        lines.setText(QStringLiteral("insert into log values('a')\r\ngo\r\ninsert into log values('b')\r\ngo\r\n"));
        QTimer::singleShot(0, m_w->main.get(), [&lines, changedLine]() {
            lines.setLine(changedLine, QStringLiteral("insert into log values('changed')"));
        });
        const QString error = m_w->runEditor();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(logOf(), log);
    }

    // What the user types into the editor while the run processes events
    // is in the lines the run reads next; the line count stays the one
    // taken at the start.
    void typedLinesAreRun_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("fromEnd");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("log");

        QTest::newRow("typed_into_a_later_line") << 2 << 2 << "x" << "a,bx";
        QTest::newRow("typed_into_a_line_already_run") << 0 << 2 << "x" << "a,b";
        QTest::newRow("new_batch_typed_before_a_later_one")
            << 2 << -1 << "insert into log values('t')\ngo\n" << "a,t";
    }

    void typedLinesAreRun()
    {
        QFETCH(int, line);
        QFETCH(int, fromEnd);
        QFETCH(QString, keys);
        QFETCH(QString, log);

        QPlainTextEdit *memo = m_w->main->Memo1;
        m_w->main->editorLines().setText(
            QStringLiteral("insert into log values('a')\r\ngo\r\ninsert into log values('b')\r\ngo\r\n"));
        QTimer::singleShot(0, m_w->main.get(), [&]() {
            QTextCursor cursor(memo->document()->findBlockByNumber(line));
            if (fromEnd >= 0) {
                cursor.movePosition(QTextCursor::EndOfBlock);
                cursor.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, fromEnd);
            }
            memo->setTextCursor(cursor);
            const QStringList pieces = keys.split(u'\n');
            for (qsizetype i = 0; i < pieces.size(); ++i) {
                if (i > 0)
                    QTest::keyClick(memo, Qt::Key_Return);
                QTest::keyClicks(memo, pieces[i]);
            }
        });
        const QString error = m_w->runEditor();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(logOf(), log);
        QCOMPARE(m_w->main->editorLines().text(), memo->toPlainText().replace(u'\n', QStringLiteral("\r\n")));
    }

    // The substitution runs before the first line is read.
    void substitutionComesFirst()
    {
        m_w->main->StringGrid1->setCell(0, 1, QStringLiteral("$v"));
        m_w->main->StringGrid1->setCell(1, 1, QStringLiteral("x'),('y"));
        m_w->main->var_count = 1;
        const QString error = run(QStringLiteral("insert into log values('$v')\r\ngo\r\n"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(logOf(), QStringLiteral("x,y"));
        QCOMPARE(m_w->main->editorLines().line(0), QStringLiteral("insert into log values('x'),('y')"));
    }

    // A line that the editor wraps on screen is one entry of the batch.
    void wrappedLineIsOneEntry()
    {
        QString words;
        for (int i = 0; i < 60; ++i)
            words += QStringLiteral("word%1 ").arg(i);
        const QString line = QStringLiteral("select '") + words + QStringLiteral("' as v");
        m_w->main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w->main.get()));
        m_w->main->editorLines().setText(line);
        QCoreApplication::processEvents();
        QTRY_VERIFY(m_w->main->Memo1->document()->firstBlock().lineCount() > 1);
        const QString error = m_w->runEditor();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(m_w->main->Query1->sqlLines(), QStringList{line});
        QAbstractItemModel *model = fetched(m_w->main->DBGrid1->model());
        QCOMPARE(model->data(model->index(0, 0)).toString(), words);
    }

    // The export clause is cut out of the batch, the file name blanked.
    void exportClauseExample()
    {
        const QString file = m_dir.filePath(QStringLiteral("example.txt"));
        const QString error = run(QStringLiteral("select name from t order by id totxt ") + file);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString expected = QStringLiteral("select name from t order by id ")
            + QString(file.size(), u' ') + QStringLiteral("\r\n");
        QCOMPARE(m_w->main->Query1->sqlLines(), QStringList{expected});
        QCOMPARE(m_w->main->Query1->sqlText(), expected + QStringLiteral("\r\n"));
        QCOMPARE(fileBytes(file), QByteArray("a    \r\nb    \r\nc    \r\n"));
        QVERIFY(m_w->main->Query1->active());
    }

    // Classification and path of a trailing batch, seen from outside.
    void executorPaths_data()
    {
        QTest::addColumn<QString>("batch");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("check");   // a query on the database afterwards
        QTest::addColumn<QString>("checked"); // its value

        QTest::newRow("insert_runs_without_result")
            << "insert into log values('a')" << true << false << "" << "select count(*) from log" << "1";
        QTest::newRow("select_with_update_in_a_column_name_runs_by_execsql")
            << "select update_count from counts" << true << false << "" << "select count(*) from counts"
            << "1";
        QTest::newRow("select_with_into_in_a_literal_runs_by_execsql")
            << "select 'into' as v" << true << false << "" << "select count(*) from log" << "0";
        QTest::newRow("delete_in_capitals_is_a_change")
            << "DELETE FROM log" << true << false << "" << "select count(*) from log" << "0";
        QTest::newRow("drop_in_capitals_is_a_change")
            << "DROP TABLE counts" << true << false << ""
            << "select count(*) from sqlite_master where name = 'counts'" << "0";
        QTest::newRow("create_table_runs_by_open_and_fails_after_it")
            << "create table made(x integer)" << false << false
            << "Query1: CommandText gibt keine Ergebnismenge zurück"
            << "select count(*) from sqlite_master where name = 'made'" << "1";
        QTest::newRow("select_opens_a_result") << "select name from t" << false << true << ""
                                               << "select count(*) from t" << "3";
    }

    void executorPaths()
    {
        QFETCH(QString, batch);
        QFETCH(bool, ticked);
        QFETCH(bool, open);
        QFETCH(QString, failure);
        QFETCH(QString, check);
        QFETCH(QString, checked);

        const QString error = run(batch);
        if (failure.isEmpty())
            QVERIFY2(error.isEmpty(), qPrintable(error));
        else
            QCOMPARE(error, failure);
        QCOMPARE(m_w->main->CheckBox1->isChecked(), ticked);
        QCOMPARE(m_w->main->Query1->active(), open);
        QCOMPARE(fetched(m_w->main->DBGrid1->model())->rowCount() > 0, open);
        m_w->main->access_con->Close();
        QCOMPARE(sqlValues(m_db, check), checked);
    }

    // An export clause on a path without a result: reading the closed
    // query fails, and the file keeps what it held.
    void exportOnAPathWithoutResult_data()
    {
        QTest::addColumn<QString>("batch");
        QTest::addColumn<QString>("log");

        QTest::newRow("execsql_path") << "insert into log values('a') totxt %1" << "a";
        QTest::newRow("execsql_path_in_a_go_batch") << "insert into log values('a') totxt %1\r\ngo\r\n"
                                                    << "a";
    }

    void exportOnAPathWithoutResult()
    {
        QFETCH(QString, batch);
        QFETCH(QString, log);

        const QString file = m_dir.filePath(QStringLiteral("closed_%1.txt").arg(QTest::currentDataTag()));
        QVERIFY(writeBytes(file, "old content"));
        const QString error = run(batch.arg(file));
        QCOMPARE(error, QStringLiteral("Query1: Operation bei geschlossener Datenmenge nicht ausführbar"));
        QCOMPARE(fileBytes(file), QByteArray("old content"));
        QCOMPARE(logOf(), log);
    }

    // The export file, byte for byte.
    void exportBytes_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("three_rows_one_column") << "select name from t order by id"
                                               << QByteArray("a    \r\nb    \r\nc    \r\n");
        QTest::newRow("two_columns_each_with_four_blanks")
            << "select id, name from t where id < 3 order by id" << QByteArray("1    a    \r\n2    b    \r\n");
        QTest::newRow("column_ix_left_out") << "select id as ix, name from t where id = 1"
                                            << QByteArray("a    \r\n");
        QTest::newRow("column_IX_in_capitals_left_out") << "select name, id as IX from t where id = 1"
                                                        << QByteArray("a    \r\n");
        QTest::newRow("only_column_ix_gives_empty_lines") << "select id as iX from t"
                                                          << QByteArray("\r\n\r\n\r\n");
        QTest::newRow("ix_inside_a_longer_name_is_written") << "select id as ixx, name as six from t where id = 2"
                                                            << QByteArray("2    b    \r\n");
        QTest::newRow("null_and_empty_text_alike") << "select null as a, '' as b, 'x' as c"
                                                   << QByteArray("        x    \r\n");
        QTest::newRow("no_rows_one_line_of_blanks") << "select id, name from t where id > 99"
                                                    << QByteArray("        \r\n");
        QTest::newRow("value_with_blanks_and_tab_unchanged") << "select ' a' || char(9) || 'b ' as v"
                                                             << QByteArray(" a\tb     \r\n");
        QTest::newRow("windows_1252_bytes_and_question_mark")
            << QString::fromUtf8("select 'äé€' || char(20013) as v")
            << QByteArray("\xe4\xe9\x80?    \r\n");
    }

    void exportBytes()
    {
        QFETCH(QString, query);
        QFETCH(QByteArray, bytes);

        const QString file = m_dir.filePath(QStringLiteral("export_%1.txt").arg(QTest::currentDataTag()));
        // An existing file is overwritten; its longer old content is gone.
        QVERIFY(writeBytes(file, QByteArray(200, 'z')));
        const QString error = run(query + QStringLiteral(" totxt ") + file + QStringLiteral("\r\ngo\r\n"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(fileBytes(file), bytes);
    }

    // Input/output failures of the export, made for real.
    void exportFailures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("failure");

        QTest::newRow("missing_folder") << "%1/nofolder/out.txt" << "Ungültiger Dateiname - %s";
        QTest::newRow("name_of_a_folder") << "%1" << "Dateizugriff verweigert";
        QTest::newRow("disk_full") << "/dev/full" << "Zu wenig Speicherplatz";
    }

    void exportFailures()
    {
        QFETCH(QString, file);
        QFETCH(QString, failure);

        if (file == QLatin1String("/dev/full") && !QFileInfo::exists(file))
            QSKIP("no /dev/full here");
        const QString error = run(QStringLiteral("select name from t totxt ") + (file.contains(u'%') ? file.arg(m_dir.path()) : file)
                                  + QStringLiteral("\r\ngo\r\ninsert into log values('after')\r\ngo\r\n"));
        QCOMPARE(error, failure);
        QCOMPARE(logOf(), QString());
    }

    // A failing export in a protected batch is dropped like any failure.
    void exportFailureInAProtectedBatchIsDropped()
    {
        const QString error = run(QStringLiteral("select 'drop' as v totxt ") + m_dir.path()
                                  + QStringLiteral("/nofolder/x.txt\r\ngo\r\ninsert into log values('after')\r\ngo\r\n"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(logOf(), QStringLiteral("after"));
    }

    // "execute script" with the program's options: each run is one
    // transaction, logged from its header to its end; an export written
    // twice in a run holds the rows written last.
    void executeRunsLoggedTransactions()
    {
        RunLog log;
        const QString logFile = m_dir.filePath(QStringLiteral("execute.log"));
        log.open(logFile, QStringLiteral("test"));
        Program &program = Program::instance();
        program.setRunLog(&log);
        program.setSingleTransaction(true);
        const QString out = m_dir.filePath(QStringLiteral("twice.txt"));
        const QString exports = QStringLiteral("select name from t where id = 1 totxt %1\r\ngo\r\n"
                                               "select name from t where id = 2 totxt %1\r\ngo\r\n")
                                    .arg(out);
        const QString failed = run(QStringLiteral("insert into log values('a')\r\ngo\r\n") + exports
                                   + QStringLiteral("insert into nosuch values(1)\r\ngo\r\n"));
        const bool nothingExported = !QFileInfo::exists(out);
        const QString kept = run(QStringLiteral("insert into log values('b')\r\ngo\r\n") + exports);
        program.setRunLog(nullptr);
        program.setSingleTransaction(false);

        QCOMPARE(failed, QStringLiteral("no such table: nosuch"));
        QVERIFY(nothingExported);
        QVERIFY2(kept.isEmpty(), qPrintable(kept));
        QCOMPARE(logOf(), QStringLiteral("b"));
        QCOMPARE(fileBytes(out), QByteArray("b    \r\n"));
        const QStringList records = QString::fromUtf8(fileBytes(logFile))
                                        .split(u'\n')
                                        .filter(QRegularExpression(QStringLiteral("^(run|transaction|end) ")));
        QCOMPARE(records.size(), 6);
        QVERIFY(records[0].startsWith(QStringLiteral("run ")));
        QCOMPARE(records[1], QStringLiteral("transaction outcome=rolled_back exports=1"));
        QVERIFY2(records[2].contains(QStringLiteral(" outcome=failure failure=\"no such table: nosuch.\" batches=4 ")),
                 qPrintable(records[2]));
        QVERIFY(records[2].endsWith(QStringLiteral(" status=1 transaction=rolled_back")));
        QCOMPARE(records[4], QStringLiteral("transaction outcome=committed exports=1"));
        QVERIFY2(records[5].contains(QStringLiteral(" outcome=success batches=3 ")), qPrintable(records[5]));
    }

    // A relative export name is taken against the current directory.
    void relativeExportName()
    {
        QTemporaryDir cwd;
        QVERIFY(cwd.isValid());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(cwd.path()));
        const QString error = run(QStringLiteral("select name from t where id = 3 totxt rel.txt\r\ngo\r\n"));
        QDir::setCurrent(before);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(fileBytes(cwd.filePath(QStringLiteral("rel.txt"))), QByteArray("c    \r\n"));
    }
};

QTEST_MAIN(TestScriptRunner)
#include "tst_scriptrunner.moc"
