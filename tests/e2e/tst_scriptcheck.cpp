// The script check as a process: `rux_ppp --check` on scripts whose
// batches the run would take in different ways, its lines on standard
// output, its line on standard error and its exit status; and that it opens
// no database and leaves the folder as it was.

#include "tests/support/filesnapshot.h"
#include "tests/support/processrun.h"
#include "tests/support/testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// A script's lines, each ended by CR LF as the editor writes them.
QByteArray script(std::initializer_list<const char *> lines)
{
    QByteArray text;
    for (const char *line : lines)
        text += QByteArray(line) + "\r\n";
    return text;
}

} // namespace

class TestScriptCheck : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    rux::test::ProcessOutcome check(const QStringList &arguments)
    {
        rux::test::ProcessRun run;
        run.arguments = QStringList{QStringLiteral("--check")} + arguments;
        run.workingDirectory = m_dir.path();
        return rux::test::runProcess(run);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void checks_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("status");

        QTest::newRow("sound_script")
            << script({"' the day's summary", "select 1 as n totxt out.txt", "go", "", "insert into t values (1)", "go",
                       "select * from t"})
            << QStringList{}
            << "batch=1 lines=2-3 end=go kind=result_set protected=no rows=yes export=out.txt unfilled=-\n"
               "batch=2 lines=5-6 end=go kind=data_change protected=no rows=- export=- unfilled=-\n"
               "batch=3 lines=7-7 end=none kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "check outcome=ok engine=sqlite batches=3 failures=0 silenced=0\n"
            << "" << 0;
        // Names are filled as the substitution replaces them: in any letter
        // case, also where the name runs on ("$year)"). The failure of a
        // protected batch is dropped by the run; a trailing batch that
        // holds "drop" runs unprotected.
        QTest::newRow("protection_and_unfilled_names")
            << script({"delete from t where y = $year and s = $site", "  and x in (select drop_id from d)", "go",
                       "insert into t values ($YEAR)", "go", "update t set a = 'drop'"})
            << QStringList{"$Year=2026"}
            << "batch=1 lines=1-3 end=go kind=data_change protected=drop:2:20 rows=- export=- unfilled=$site\n"
               "batch=2 lines=4-5 end=go kind=data_change protected=no rows=- export=- unfilled=-\n"
               "batch=3 lines=6-6 end=none kind=data_change protected=no rows=- export=- unfilled=-\n"
               "silenced batch=1 line=2 reason=\"near \\\"and\\\": syntax error\"\n"
               "check outcome=ok engine=sqlite batches=3 failures=0 silenced=1\n"
            << "" << 0;
        // The parameters are put in twice, as an unattended run does: the
        // second pass fills the name the first one wrote.
        QTest::newRow("two_substitution_passes")
            << script({"select $a as v", "go"}) << QStringList{"$b=7", "$a=$b"}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "check outcome=ok engine=sqlite batches=1 failures=0 silenced=0\n"
            << "" << 0;
        QTest::newRow("run_id_replaced")
            << script({"select %rid% as run", "go"}) << QStringList{"ERR_P=1042"}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "check outcome=ok engine=sqlite batches=1 failures=0 silenced=0\n"
            << "" << 0;
        QTest::newRow("sqlite_failures")
            << script({"selct 1", "go", "create table x (a)", "go", "select 1;", "select 2", "go",
                       "select * from t where a = :a", "go", "go", "select 1 totxt gone/out.txt", "go",
                       "select * from missing", "go", "drop table tmp", "select 1 from", "go",
                       "insert into t values (1) totxt out.txt", "go"})
            << QStringList{}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "batch=2 lines=3-4 end=go kind=result_set protected=no rows=no export=- unfilled=-\n"
               "batch=3 lines=5-7 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "batch=4 lines=8-9 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "batch=5 lines=10-10 end=go kind=result_set protected=no rows=no export=- unfilled=-\n"
               "batch=6 lines=11-12 end=go kind=result_set protected=no rows=yes export=gone/out.txt unfilled=-\n"
               "batch=7 lines=13-14 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "batch=8 lines=15-17 end=go kind=data_change protected=drop:15:1 rows=- export=- unfilled=-\n"
               "batch=9 lines=18-19 end=go kind=data_change protected=no rows=- export=out.txt unfilled=-\n"
               "fails batch=1 line=1 reason=\"near \\\"selct\\\": syntax error\"\n"
               "fails batch=2 line=3 reason=\"The batch runs as a result set (it holds none of insert, update, "
               "delete, into, drop, edit_table), but its statement returns no rows\"\n"
               "fails batch=3 line=6 reason=\"Characters found after end of SQL statement.\"\n"
               "fails batch=4 line=8 reason=\"No value given for one or more required parameters.\"\n"
               "fails batch=5 line=10 reason=\"A \\\"go\\\" with no statement line before it\"\n"
               "fails batch=6 line=11 reason=\"The folder '%dir/gone' of the export file 'gone/out.txt' does not exist\"\n"
               "silenced batch=8 line=16 reason=\"near \\\"select\\\": syntax error\"\n"
               "fails batch=9 line=18 reason=\"The batch exports (totxt) but runs as data_change: no result is "
               "left to export\"\n"
               "check outcome=fails engine=sqlite batches=9 failures=7 silenced=1\n"
            << "" << 1;
        // Statements alike but for their values are parsed once; a blob
        // literal's digits are no value of that kind.
        QTest::newRow("statements_alike")
            << script({"select x'00' as b, 'a' as s, 1.5 as r", "go", "select x'0' as b, 'it''s' as s, 2e3 as r", "go",
                       "select x'00' as b, '' as s, 7.25 as r", "go"})
            << QStringList{}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "batch=2 lines=3-4 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "batch=3 lines=5-6 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "fails batch=2 line=3 reason=\"unrecognized token: \\\"x'0'\\\"\"\n"
               "check outcome=fails engine=sqlite batches=3 failures=1 silenced=0\n"
            << "" << 1;
        // A table the empty database has not: a statement alike but for
        // its values is refused alike, its parameter still without a value.
        QTest::newRow("name_only_a_database_tells")
            << script({"select * from t where a = 1 and b = :p", "go", "select * from t where a = 2 and b = :p", "go"})
            << QStringList{}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "batch=2 lines=3-4 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "fails batch=1 line=1 reason=\"No value given for one or more required parameters.\"\n"
               "fails batch=2 line=3 reason=\"No value given for one or more required parameters.\"\n"
               "check outcome=fails engine=sqlite batches=2 failures=2 silenced=0\n"
            << "" << 1;
        // The place of an ORDER BY term is no value: the second statement
        // names a column it has not, which only its own parse tells.
        QTest::newRow("order_by_place")
            << script({"with t(a) as (select 1) select a from t Order By 1", "go",
                       "with t(a) as (select 1) select a from t Order By 2", "go"})
            << QStringList{}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "batch=2 lines=3-4 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "check outcome=ok engine=sqlite batches=2 failures=0 silenced=0\n"
            << "" << 0;
        // No parser without the server: the first word tells the rows.
        QTest::newRow("postgres_rules")
            << script({"create table x as select 1", "go", "select * from t where id = :id", "go",
                       "with a as (select 1) select * from a", "go", "show search_path", "go"})
            << QStringList{"DB=postgresql://rux@localhost/nowhere"}
            << "batch=1 lines=1-2 end=go kind=result_set protected=no rows=no export=- unfilled=-\n"
               "batch=2 lines=3-4 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "batch=3 lines=5-6 end=go kind=result_set protected=no rows=unknown export=- unfilled=-\n"
               "batch=4 lines=7-8 end=go kind=result_set protected=no rows=yes export=- unfilled=-\n"
               "fails batch=1 line=1 reason=\"The batch runs as a result set (it holds none of insert, update, "
               "delete, into, drop, edit_table), but its statement returns no rows\"\n"
               "fails batch=2 line=3 reason=\"No value given for one or more required parameters.\"\n"
               "check outcome=fails engine=postgres batches=4 failures=2 silenced=0\n"
            << "" << 1;
        QTest::newRow("single_transaction_refusals")
            << script({"edit_table t", "go", "commit", "go"}) << QStringList{"--single-transaction"}
            << "batch=1 lines=1-2 end=go kind=table_editing protected=no rows=- export=- unfilled=-\n"
               "batch=2 lines=3-4 end=go kind=result_set protected=no rows=no export=- unfilled=-\n"
               "fails batch=1 line=1 reason=\"The script edits a table by hand (edit_table in line 1), which "
               "--single-transaction cannot wait for: its open transaction would keep every other program "
               "from writing. Nothing was run.\"\n"
               "fails batch=2 line=3 reason=\"The batch in line 3 is a transaction statement (commit), which "
               "--single-transaction cannot run: the whole run is one transaction, committed at its end. "
               "Nothing was run.\"\n"
               "fails batch=2 line=3 reason=\"The batch runs as a result set (it holds none of insert, update, "
               "delete, into, drop, edit_table), but its statement returns no rows\"\n"
               "check outcome=fails engine=sqlite batches=2 failures=3 silenced=0\n"
            << "" << 1;
        QTest::newRow("eleven_parameters")
            << script({"select 1", "go"})
            << QStringList{"$a=1", "$b=1", "$c=1", "$d=1", "$e=1", "$f=1", "$g=1", "$h=1", "$i=1", "$j=1", "$k=1"}
            << "fails batch=- line=- reason=\"Zu viele Parameter: die Parametertabelle fasst höchstens 10 Zeilen\"\n"
               "check outcome=fails engine=sqlite batches=0 failures=1 silenced=0\n"
            << "" << 1;
        QTest::newRow("go_refused")
            << script({"select 1", "go"}) << QStringList{"GO"} << ""
            << "rux_ppp: --check only reads the script: it does not go with GO.\n" << 2;
        QTest::newRow("log_refused")
            << script({"select 1", "go"}) << QStringList{"--log=run.log"} << ""
            << "rux_ppp: --check only reads the script: --log and --timeout do not go with it.\n" << 2;
        QTest::newRow("unknown_option")
            << script({"select 1", "go"}) << QStringList{"--single"} << ""
            << "rux_ppp: Unknown option '--single'. The options are --log=FILE, --single-transaction, "
               "--timeout=DURATION, --convert-access SOURCE TARGET, --check, --help and --version.\n"
            << 2;
    }

    void checks()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, status);

        const QString sql = rux::test::makeFile(m_dir.filePath(QStringLiteral("check.sql")), text);
        const rux::test::ProcessOutcome o = check(arguments + QStringList{QStringLiteral("SQL=") + sql});
        QVERIFY(o.finished);
        QCOMPARE(QString::fromUtf8(o.outBytes), QString(out).replace(QStringLiteral("%dir"), m_dir.path()));
        QCOMPARE(QString::fromUtf8(o.errBytes), err);
        QCOMPARE(o.exitCode, status);
    }

    // A database that is not there, or a pipe, is never opened: the check
    // ends at once and the folder holds what it held.
    void opensNoDatabase_data()
    {
        QTest::addColumn<QString>("database");
        QTest::newRow("missing_file") << "missing.db";
        QTest::newRow("missing_folder") << "nowhere/missing.db";
        QTest::newRow("pipe") << "../db.fifo";
    }

    void opensNoDatabase()
    {
        QFETCH(QString, database);

        // The pipe stands beside the folder that is compared: reading it
        // for the comparison would wait for a writer.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("db.fifo"))).constData(), 0600), 0);
        const QString work = dir.filePath(QStringLiteral("work"));
        const QString sql = rux::test::makeFile(work + QStringLiteral("/s.sql"), script({"select 1", "go"}));
        const rux::test::Snapshot before = rux::test::snapshot(work);

        rux::test::ProcessRun run;
        run.arguments = QStringList{QStringLiteral("--check"), QStringLiteral("DB=") + database,
                                    QStringLiteral("SQL=") + sql};
        run.workingDirectory = work;
        run.timeoutMs = 10000;
        const rux::test::ProcessOutcome o = rux::test::runProcess(run);
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 0);
        QVERIFY2(o.out.endsWith(QStringLiteral("check outcome=ok engine=sqlite batches=1 failures=0 silenced=0\n")),
                 qPrintable(o.out));
        QCOMPARE(rux::test::snapshot(work), before);
    }
};

QTEST_GUILESS_MAIN(TestScriptCheck)
#include "tst_scriptcheck.moc"
