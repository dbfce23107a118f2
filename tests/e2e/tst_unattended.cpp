// The program as a process: unattended runs driven by the command line,
// their exit status and what they leave in the database, the export files
// and on standard error (which holds nothing but the program's own lines,
// also without XDG_RUNTIME_DIR); the program's options: the run log, the
// single transaction, the informational ones; the start without a screen. With RUX_E2E_ENGINE=postgresql every run goes to a PostgreSQL
// server (RUX_PG_URI) instead of an SQLite file, each test in a schema of
// its own.

#include "db/postgres/pgconninfo.h"
#include "script/paramcells.h"
#include "tests/support/ownmount.h"
#include "tests/support/pgfixture.h"
#include "tests/support/processrun.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kTimeBoundMs = 30000;

using Outcome = rux::test::ProcessOutcome;
using rux::test::fileBytes;
using rux::test::sqlValues;

} // namespace

class TestUnattended : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
    bool m_server = false;
    std::unique_ptr<rux::test::PgSchema> m_schema;

    // What the database holds: through the engine the run used.
    QString values(const QString &sql) { return sqlValues(m_db, sql); }

    QString path(const QString &name) const { return m_dir->filePath(name); }

    QString writeScript(const QString &name, const QByteArray &text)
    {
        return rux::test::makeFile(path(name), text);
    }

    QString log()
    {
        return values(m_server ? QStringLiteral("select v from log order by n")
                               : QStringLiteral("select v from log order by rowid"));
    }

    // The test's environment without a screen; the offscreen platform
    // chosen unless told otherwise.
    static QProcessEnvironment environment(bool withPlatform = true)
    {
        QProcessEnvironment env = rux::test::screenlessEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        if (!withPlatform)
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    Outcome runProgram(const QStringList &arguments, const QProcessEnvironment &env = environment())
    {
        rux::test::ProcessRun run;
        run.arguments = arguments;
        run.environment = env;
        run.workingDirectory = m_dir->path();
        run.timeoutMs = kTimeBoundMs;
        return rux::test::runProcess(run);
    }

    // A folder in which no file can be created. Root passes permission
    // bits, so for root it is a read-only file system mounted in a mount
    // namespace of the test's own. Empty when none can be made.
    QString readOnlyFolder()
    {
        const QString folder = path(QStringLiteral("ro"));
        QDir().mkpath(folder);
        const QByteArray name = QFile::encodeName(folder);
        if (::geteuid() != 0)
            return ::chmod(name.constData(), 0555) == 0 ? folder : QString();
        if (!rux::test::mountTmpfs(folder, MS_RDONLY, "size=64k").isEmpty())
            return QString();
        m_mounted = folder;
        return folder;
    }

    // The lines of a run log file.
    QStringList logLines(const QString &file)
    {
        return QString::fromUtf8(fileBytes(file)).split(u'\n', Qt::SkipEmptyParts);
    }

    QString m_mounted;

private Q_SLOTS:
    void initTestCase()
    {
        m_server = qEnvironmentVariable("RUX_E2E_ENGINE") == QLatin1String("postgresql");
        if (m_server)
            RUX_NEED_PG_SERVER();
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        if (m_server) {
            m_schema = std::make_unique<rux::test::PgSchema>(QStringLiteral("e2e"));
            QCOMPARE(m_schema->error(), QString());
            m_db = m_schema->uri();
            QCOMPARE(rux::test::OtherConnection(m_db).run({
                         QStringLiteral("create table t (id integer primary key, name text)"),
                         QStringLiteral("insert into t values (1, 'a'), (2, 'b')"),
                         // Rows keep their order by a serial column after the text.
                         QStringLiteral("create table log (v text, n serial)"),
                     }),
                     QString());
            return;
        }
        m_db = path(QStringLiteral("test.db"));
        for (const char *s : {"create table t (id integer primary key, name text)",
                              "insert into t values (1, 'a'), (2, 'b')", "create table log (v text)"})
            QCOMPARE(sqlValues(m_db, QString::fromLatin1(s)), QString());
    }

    void cleanup()
    {
        if (!m_mounted.isEmpty())
            rux::test::unmount(m_mounted);
        m_mounted.clear();
        if (m_dir)
            ::chmod(QFile::encodeName(path(QStringLiteral("ro"))).constData(), 0755);
        m_dir.reset();
        m_schema.reset();
    }

    void successfulRun()
    {
        const QString out = path(QStringLiteral("out.txt"));
        const QString sql = writeScript(QStringLiteral("ok.sql"),
                                        "insert into log values ('$p1')\r\ngo\r\n"
                                        "insert into log values ('%rid%')\r\ngo\r\n"
                                        "select name from t order by id totxt " + out.toLocal8Bit() + "\r\ngo\r\n");
        const Outcome o = runProgram({QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql,
                                      QStringLiteral("ERR_P=77"), QStringLiteral("$p1=hello"),
                                      QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 0);
        QCOMPARE(o.err, QString());
        QCOMPARE(log(), QStringLiteral("hello,77"));
        QCOMPARE(fileBytes(out), QByteArray("a    \r\nb    \r\n"));
    }

    void missingDatabase()
    {
        QString missing = path(QStringLiteral("missing.db"));
        QString expected = QStringLiteral("rux_ppp: Could not find file '%1'.").arg(missing);
        if (m_server) {
            // The same server, a database that is not there.
            missing = m_db;
            missing.replace(QRegularExpression(QStringLiteral("/[^/?]*(?=\\?|$)")), QStringLiteral("/no_such_db"));
            expected = QStringLiteral("rux_ppp: Could not open '%1': ").arg(rux::pg::maskPassword(missing));
        }
        const QString sql = writeScript(QStringLiteral("s.sql"), "insert into log values ('x')\r\ngo\r\n");
        const Outcome o = runProgram({QStringLiteral("DB=") + missing, QStringLiteral("SQL=") + sql,
                                      QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 1);
        QVERIFY2(o.err.contains(expected), qPrintable(o.err));
        QCOMPARE(o.err.count(QStringLiteral("rux_ppp:")), 1);
        QCOMPARE(log(), QString());
        if (m_server) {
            QVERIFY2(o.err.contains(QStringLiteral("database \"no_such_db\" does not exist")), qPrintable(o.err));
            QVERIFY2(!o.err.contains(rux::pg::parseUri(missing).value(u"password")), qPrintable(o.err));
        } else {
            QVERIFY(!QFileInfo::exists(missing));
        }
    }

    void missingScript()
    {
        const QString missing = path(QStringLiteral("missing.sql"));
        const Outcome o = runProgram({QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + missing,
                                      QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 1);
        QVERIFY2(o.err.contains(QStringLiteral("rux_ppp: Datei %1 kann nicht geöffnet werden.").arg(missing)),
                 qPrintable(o.err));
        QCOMPARE(log(), QString());
    }

    // A batch that fails ends the run with status 1 and one line on
    // standard error; the batches before it keep their effects and none
    // after it runs. Without a screen nobody could end a table editing, so
    // edit_table fails at once.
    void failingBatch_data()
    {
        QTest::addColumn<QByteArray>("batch");
        QTest::addColumn<QString>("sqliteText");
        QTest::addColumn<QString>("serverText");
        QTest::newRow("engine_refuses") << QByteArray("insert into nosuch values (1)")
                                        << "no such table: nosuch" << "relation \"nosuch\" does not exist";
        const QString noScreen = QStringLiteral("Cannot edit table 't': editing a table needs a screen, "
                                                "and this program runs without one (platform 'offscreen').");
        QTest::newRow("edit_table_without_screen") << QByteArray("edit_table t") << noScreen << noScreen;
    }

    void failingBatch()
    {
        QFETCH(QByteArray, batch);
        QFETCH(QString, sqliteText);
        QFETCH(QString, serverText);
        const QString sql = writeScript(QStringLiteral("f.sql"),
                                        "insert into log values ('a')\r\ngo\r\n" + batch + "\r\ngo\r\n"
                                        "insert into log values ('c')\r\ngo\r\n");
        const Outcome o = runProgram({QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql,
                                      QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 1);
        const QString engineText = m_server ? serverText : sqliteText;
        QVERIFY2(o.err.startsWith(QStringLiteral("rux_ppp: ") + engineText), qPrintable(o.err));
        QCOMPARE(o.err.count(u'\n'), 1);
        QCOMPARE(log(), QStringLiteral("a"));
    }

    // What one argument list makes the run write into the log.
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %db and %sql stand for the files
        QTest::addColumn<QString>("log");

        QTest::newRow("mixed_case_prefixes")
            << QStringList{"db=%db", "Sql=%sql", "err_p=55", "$p1=v", "go"} << "v,55";
        QTest::newRow("err_p_replaces_rid")
            << QStringList{"DB=%db", "SQL=%sql", "ERR_P=2026-1", "$p1=v", "GO"} << "v,2026-1";
        QTest::newRow("without_err_p_rid_is_minus_999")
            << QStringList{"DB=%db", "SQL=%sql", "$p1=v", "GO"} << "v,-999";
        QTest::newRow("value_keeps_further_equals")
            << QStringList{"DB=%db", "SQL=%sql", "$p1=a=b", "GO"} << "a=b,-999";
        QTest::newRow("arguments_without_equals_are_no_prefixes")
            << QStringList{"DB=%db", "SQL=%sql", "DB", "SQL", "ERR_P", "ERR_P77", "$p1=v", "GO"} << "v,-999";
        QTest::newRow("last_sql_and_err_p_win")
            << QStringList{"DB=%db", "SQL=/nonexistent.sql", "ERR_P=1", "SQL=%sql", "ERR_P=2", "$p1=v", "GO"}
            << "v,2";
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, log);

        const QString sql = writeScript(QStringLiteral("a.sql"),
                                        "insert into log values ('$p1')\r\ngo\r\n"
                                        "insert into log values ('%rid%')\r\ngo\r\n");
        for (QString &a : arguments) {
            a.replace(QStringLiteral("%db"), m_db);
            a.replace(QStringLiteral("%sql"), sql);
        }
        const Outcome o = runProgram(arguments);
        QVERIFY(o.finished);
        QVERIFY2(o.exitCode == 0, qPrintable(o.err));
        QCOMPARE(this->log(), log);
    }

    void tooManyParameters()
    {
        const QString sql = writeScript(QStringLiteral("m.sql"), "insert into log values ('x')\r\ngo\r\n");
        QStringList arguments{QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql, QStringLiteral("GO")};
        for (int i = 1; i <= rux::kMaxParamRows + 1; ++i)
            arguments.append(QStringLiteral("$p%1=%1").arg(i));
        const Outcome o = runProgram(arguments);
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 1);
        QVERIFY2(o.err.contains(QStringLiteral("rux_ppp: ") + rux::tooManyParametersText()), qPrintable(o.err));
        QCOMPARE(log(), QString());
    }

    // The run log of a script that takes every path, with a protected
    // batch whose failure was dropped and a failure that ends the run.
    void runLog()
    {
        const QString sql = writeScript(QStringLiteral("l.sql"),
                                        "insert into log values ('$p1')\r\ngo\r\n"
                                        "drop table nosuch\r\ngo\r\n"
                                        "select name from t order by id totxt out.txt\r\ngo\r\n"
                                        "select name from t\r\ngo\r\n"
                                        "update t set name = 'z'\r\ngo\r\n"
                                        "edit_table t\r\ngo\r\n");
        // The record an earlier run left torn (a full disk) stays a line of
        // its own.
        const QString logFile = writeScript(QStringLiteral("run.log"), "end time=x outcome=fail");
        const Outcome o = runProgram({QStringLiteral("--log=") + logFile, QStringLiteral("DB=") + m_db,
                                      QStringLiteral("SQL=") + sql, QStringLiteral("ERR_P=77"),
                                      QStringLiteral("$p1=a b"), QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 1);
        QCOMPARE(o.err.count(u'\n'), 1);
        const QStringList expected = {
            "end time=x outcome=fail",
            "start version=" RUX_VERSION " time=\\S+ pid=\\d+",
            "run time=\\S+ database=.+ script=\\S+ run_id=77 single_transaction=no",
            "param name=\\$p1 value=\"a b\"",
            // The script's own name for it (quotes belong to a name), found when it was loaded.
            "param name=\\$p1'\\) value=\"\"",
            "batch line=1 path=data_change rows=1 ms=\\d+",
            "batch line=3 path=data_change ms=\\d+ silenced=\".*nosuch.*\"",
            "batch line=5 path=result_set rows_read=2 export=out.txt export_rows=2 ms=\\d+",
            "batch line=7 path=result_set rows_read=1 ms=\\d+",
            "batch line=9 path=data_change rows=2 ms=\\d+",
            "batch line=11 path=table_editing table=t ms=\\d+ failed=\"Cannot edit table 't': .*\"",
            "end time=\\S+ outcome=failure failure=\"Cannot edit table 't': .*\" batches=6 ms=\\d+ status=1",
        };
        const QStringList lines = logLines(logFile);
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QRegularExpression pattern(QRegularExpression::anchoredPattern(expected[i]));
            QVERIFY2(pattern.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        }
        if (m_server) {
            QVERIFY(lines[2].contains(QStringLiteral(":***@")));
            QVERIFY(!lines.join(u'\n').contains(rux::pg::parseUri(m_db).value(u"password")));
        }
    }

    // All or nothing: a failure takes back every batch and every export
    // file; a protected batch's failure spoils nothing; a script that
    // waits for table editing is refused before anything runs.
    void singleTransaction_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("log");        // the log table afterwards
        QTest::addColumn<QByteArray>("exported"); // out.txt afterwards; it held "old"
        QTest::addColumn<QString>("ending");     // the log's end of the transaction; empty: none
        QTest::addColumn<QString>("error");      // the start of standard error

        const QByteArray exportBatch = "select name from t order by id totxt out.txt\r\ngo\r\n";
        QTest::newRow("failure_in_batch_3_of_5")
            << "insert into log values ('a')\r\ngo\r\n" + exportBatch
                   + "insert into nosuch values (1)\r\ngo\r\ninsert into log values ('d')\r\ngo\r\n"
                     "select name from t totxt out2.txt\r\ngo\r\n"
            << 1 << "" << QByteArray("old") << "transaction outcome=rolled_back exports=1"
            << "rux_ppp: ";
        QTest::newRow("silenced_drop_inside")
            << "insert into log values ('a')\r\ngo\r\ndrop table nosuch\r\ngo\r\n" + exportBatch
                   + "insert into log values ('c')\r\ngo\r\n"
            << 0 << "a,c" << QByteArray("a    \r\nb    \r\n") << "transaction outcome=committed exports=1"
            << "";
        // The run's own transaction would end there; nothing runs at all.
        QTest::newRow("own_commit_refused")
            << "insert into log values ('a')\r\ngo\r\n" + exportBatch + "COMMIT /* insert */\r\ngo\r\n"
                   "insert into log values ('c')\r\ngo\r\n"
            << 1 << "" << QByteArray("old") << ""
            << "rux_ppp: The batch in line 5 is a transaction statement (COMMIT), which --single-transaction "
               "cannot run";
        QTest::newRow("export_to_device_refused")
            << QByteArray("insert into log values ('a')\r\ngo\r\nselect name from t totxt /dev/full\r\ngo\r\n")
            << 1 << ""
            << QByteArray("old") << ""
            << "rux_ppp: The export file '/dev/full' of the batch in line 3 is a device, a pipe or a socket";
        QTest::newRow("edit_table_refused")
            << "insert into log values ('a')\r\ngo\r\n" + exportBatch + "edit_table t\r\ngo\r\n" << 1 << ""
            << QByteArray("old") << ""
            << "rux_ppp: The script edits a table by hand (edit_table in line 5), which --single-transaction "
               "cannot wait for";
    }

    void singleTransaction()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, exitCode);
        QFETCH(QString, log);
        QFETCH(QByteArray, exported);
        QFETCH(QString, ending);
        QFETCH(QString, error);

        const QString sql = writeScript(QStringLiteral("x.sql"), script);
        const QString out = writeScript(QStringLiteral("out.txt"), "old");
        const QString logFile = path(QStringLiteral("run.log"));
        // Given twice, the same as once.
        const Outcome o = runProgram({QStringLiteral("--single-transaction"), QStringLiteral("--log=") + logFile,
                                      QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql,
                                      QStringLiteral("--single-transaction"), QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, exitCode);
        QVERIFY2(error.isEmpty() ? o.err.isEmpty() : o.err.startsWith(error), qPrintable(o.err));
        QCOMPARE(o.err.count(u'\n'), error.isEmpty() ? 0 : 1);
        QCOMPARE(this->log(), log);
        QCOMPARE(fileBytes(out), exported);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("out2.txt"))));
        const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left.filter(QStringLiteral(".rux_ppp-export")).isEmpty(), qPrintable(left.join(u' ')));

        const QStringList lines = logLines(logFile);
        QVERIFY(lines.value(1).endsWith(QStringLiteral("single_transaction=yes")));
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^transaction "))),
                 ending.isEmpty() ? QStringList() : QStringList{ending});
        QVERIFY2(lines.constLast().startsWith(QStringLiteral("end ")), qPrintable(lines.constLast()));
        QVERIFY(lines.constLast().contains(QStringLiteral(" status=%1").arg(exitCode)));
    }

    // Options that cannot be used: one line on standard error, status 1,
    // and nothing run.
    void badOptions_data()
    {
        QTest::addColumn<QStringList>("options"); // %dir: the test's folder, %ro: one nobody can write in
        QTest::addColumn<QString>("error");       // the start of standard error

        QTest::newRow("empty_log_name")
            << QStringList{"--log="}
            << "rux_ppp: The log file name is empty: write --log=FILE, or --log=- for standard error.";
        QTest::newRow("log_without_name")
            << QStringList{"--log"} << "rux_ppp: --log needs a file name: write --log=FILE";
        QTest::newRow("log_is_a_folder")
            << QStringList{"--log=%dir"} << "rux_ppp: Cannot write the log file '%dir': Is a directory.";
        QTest::newRow("log_in_read_only_folder")
            << QStringList{"--log=%ro/run.log"} << "rux_ppp: Cannot write the log file '%ro/run.log': ";
        QTest::newRow("log_on_full_disk")
            << QStringList{"--log=/dev/full"}
            << "rux_ppp: Cannot write the log file '/dev/full': No space left on device.";
        QTest::newRow("log_twice") << QStringList{"--log=a.log", "--log=b.log"} << "rux_ppp: --log is given twice";
        // The log file is refused before anything is written into it.
        QTest::newRow("log_is_the_script")
            << QStringList{"--log=%sql"} << "rux_ppp: The log file '%sql' is the script file";
        QTest::newRow("log_is_a_pipe_without_reader")
            << QStringList{"--log=%fifo"}
            << "rux_ppp: Cannot write the log file '%fifo': it is a pipe that no program reads.";
        QTest::newRow("timeout_without_a_duration")
            << QStringList{"--timeout=soon"} << "rux_ppp: --timeout needs a duration such as 90s";
        QTest::newRow("misspelt_option")
            << QStringList{"--single-transacton"}
            << "rux_ppp: Unknown option '--single-transacton'. The options are --log=FILE, --single-transaction, --timeout=DURATION, "
               "--convert-access SOURCE TARGET, --check, --help and --version.";
    }

    void badOptions()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, error);

        if (options.join(u' ').contains(QStringLiteral("%ro"))) {
            const QString ro = readOnlyFolder();
            if (ro.isEmpty())
                QSKIP("no folder without write access can be made here (a read-only mount needs a mount namespace)");
            options.replaceInStrings(QStringLiteral("%ro"), ro);
            error.replace(QStringLiteral("%ro"), ro);
        }
        const QByteArray script = "insert into log values ('x')\r\ngo\r\n";
        const QString sql = writeScript(QStringLiteral("b.sql"), script);
        const QString fifo = path(QStringLiteral("log.fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const auto &[mark, file] : {std::pair{QStringLiteral("%dir"), m_dir->path()},
                                         std::pair{QStringLiteral("%sql"), sql}, std::pair{QStringLiteral("%fifo"), fifo}}) {
            options.replaceInStrings(mark, file);
            error.replace(mark, file);
        }
        const Outcome o = runProgram(options + QStringList{QStringLiteral("DB=") + m_db,
                                                           QStringLiteral("SQL=") + sql, QStringLiteral("GO")});
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 1);
        QVERIFY2(o.err.startsWith(error), qPrintable(o.err));
        QCOMPARE(o.err.count(u'\n'), 1);
        QCOMPARE(log(), QString());
        QCOMPARE(fileBytes(sql), script);
    }

    // A run ended from outside: SIGTERM, or the time limit in the middle of
    // a statement that would run for ever. The run's transaction is taken
    // back, no staged export stays, and the log ends with the outcome.
    void endedFromOutside_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("signalNumber"); // sent once the first batch has run; 0: none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("outcome");

        QTest::newRow("sigterm") << QStringList{"--single-transaction"} << int(SIGTERM) << 143
                                 << "rux_ppp: Ended by SIGTERM at line 3." << "terminated";
        QTest::newRow("timeout") << QStringList{"--single-transaction", "--timeout=2s"} << 0 << 1
                                 << "rux_ppp: The time limit of the run (--timeout=2s) ran out at line 3."
                                 << "timed_out";
        QTest::newRow("timeout_plain_run") << QStringList{"--timeout=2"} << 0 << 1
                                           << "rux_ppp: The time limit of the run (--timeout=2) ran out at line 3."
                                           << "timed_out";
    }

    void endedFromOutside()
    {
        QFETCH(QStringList, options);
        QFETCH(int, signalNumber);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QFETCH(QString, outcome);

        const QByteArray endless = m_server ? "select pg_sleep(60)"
                                            : "select count(*) from (with recursive c(i) as (select 1 union all "
                                              "select i + 1 from c) select i from c)";
        const QString sql = writeScript(QStringLiteral("long.sql"),
                                        "insert into log values ('a')\r\ngo\r\n" + endless
                                            + " totxt out.txt\r\ngo\r\n");
        writeScript(QStringLiteral("out.txt"), "old");
        const QString logFile = path(QStringLiteral("run.log"));
        rux::test::ProcessRun run;
        run.arguments = options
            + QStringList{QStringLiteral("--log=") + logFile, QStringLiteral("DB=") + m_db,
                          QStringLiteral("SQL=") + sql, QStringLiteral("GO")};
        run.environment = environment();
        run.workingDirectory = m_dir->path();
        run.timeoutMs = kTimeBoundMs;
        run.whileRunning = [&](QProcess &process) {
            if (signalNumber == 0)
                return;
            QElapsedTimer waited;
            waited.start();
            while (!fileBytes(logFile).contains("batch line=1") && waited.elapsed() < kTimeBoundMs
                   && process.state() == QProcess::Running)
                QThread::msleep(10);
            QThread::msleep(200);
            ::kill(pid_t(process.processId()), signalNumber);
        };
        const Outcome o = rux::test::runProcess(run);
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, exitCode);
        QCOMPARE(o.err, error + u'\n');
        QCOMPARE(log(), options.contains(QStringLiteral("--single-transaction")) ? QString() : QStringLiteral("a"));
        QCOMPARE(fileBytes(path(QStringLiteral("out.txt"))), QByteArray("old"));
        const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left.filter(QStringLiteral(".rux_ppp-")).isEmpty(), qPrintable(left.join(u' ')));
        const QString end = logLines(logFile).constLast();
        QVERIFY2(end.startsWith(QStringLiteral("end ")) && end.contains(QStringLiteral(" outcome=") + outcome)
                     && end.contains(QStringLiteral(" status=%1").arg(exitCode)),
                 qPrintable(end));
    }

    // A run in one transaction that reads before it writes, beside another
    // program that keeps writing (with a busy timeout of its own): the run
    // waits for the writer's transactions, the writer for the run's, and
    // both get through.
    void readThenWriteBesideAWriter()
    {
        if (m_server)
            QSKIP("the lock upgrade is SQLite's");
        const QString sql = writeScript(QStringLiteral("rw.sql"), "select count(*) from t\r\ngo\r\n"
                                                                  "insert into log values ('a')\r\ngo\r\n");
        std::atomic<bool> done{false};
        std::atomic<int> written{0};
        QString writerFailure;
        std::thread writer([&]() {
            rux::test::OtherConnection db(m_db, rux::test::OtherOptions{false, 2000});
            writerFailure = db.error();
            for (int i = 0; writerFailure.isEmpty() && !done.load(); ++i) {
                for (const QString &statement : {QStringLiteral("begin immediate"),
                                                 QStringLiteral("insert into t (name) values ('w')"),
                                                 QStringLiteral("commit")}) {
                    writerFailure = db.run({statement});
                    if (!writerFailure.isEmpty())
                        break;
                    if (statement.startsWith(u'i'))
                        QThread::msleep(20);
                }
                ++written;
                QThread::msleep(2);
            }
        });
        QStringList failures;
        for (int trial = 0; trial < 5; ++trial) {
            const Outcome o = runProgram({QStringLiteral("--single-transaction"), QStringLiteral("DB=") + m_db,
                                          QStringLiteral("SQL=") + sql, QStringLiteral("GO")});
            if (o.exitCode != 0)
                failures.append(o.err);
        }
        done.store(true);
        writer.join();
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(writerFailure, QString());
        QVERIFY(written.load() > 5);
        QCOMPARE(log(), QStringLiteral("a,a,a,a,a"));
    }

    // A "$" in an option is no parameter: ten parameters and a log whose
    // name holds one still run.
    void dollarInLogNameIsNoParameter()
    {
        const QString sql = writeScript(QStringLiteral("d.sql"), "insert into log values ('$p10')\r\ngo\r\n");
        QStringList arguments{QStringLiteral("--log=") + path(QStringLiteral("run$1.log")),
                              QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql, QStringLiteral("GO")};
        for (int i = 1; i <= rux::kMaxParamRows; ++i)
            arguments.append(QStringLiteral("$p%1=%1").arg(i));
        const Outcome o = runProgram(arguments);
        QVERIFY(o.finished);
        QVERIFY2(o.exitCode == 0, qPrintable(o.err));
        QCOMPARE(log(), QStringLiteral("10"));
        QVERIFY(fileBytes(path(QStringLiteral("run$1.log"))).contains("\nend "));
    }

    void informationOptions_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");

        QTest::newRow("help") << "--help" << "Usage: rux_ppp";
        QTest::newRow("version") << "--version" << "rux_ppp " RUX_VERSION "\n";
    }

    void informationOptions()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);

        // Neither needs a screen nor opens a window.
        const Outcome o = runProgram({option}, environment(false));
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 0);
        QVERIFY2(o.out.contains(expected), qPrintable(o.out));
        QCOMPARE(o.err, QString());
    }

    void startsOffscreenWithoutScreen_data()
    {
        QTest::addColumn<QStringList>("emptyVariables");

        QTest::newRow("no_screen_variables") << QStringList();
        QTest::newRow("empty_display") << QStringList{"DISPLAY"};
        QTest::newRow("empty_wayland_display_and_platform")
            << QStringList{"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    }

    void startsOffscreenWithoutScreen()
    {
        QFETCH(QStringList, emptyVariables);

        QProcessEnvironment env = environment(false);
        for (const QString &name : emptyVariables)
            env.insert(name, QString());
        const QString sql = writeScript(QStringLiteral("n.sql"), "insert into log values ('headless')\r\ngo\r\n");
        const Outcome o = runProgram({QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql,
                                      QStringLiteral("GO")},
                                     env);
        QVERIFY(o.finished);
        QVERIFY2(o.exitCode == 0, qPrintable(o.err));
        QCOMPARE(log(), QStringLiteral("headless"));
    }

    void withoutGoStaysOpen()
    {
        const QString sql = writeScript(QStringLiteral("g.sql"), "insert into log values ('x')\r\ngo\r\n");
        rux::test::ProcessRun run;
        run.arguments = {QStringLiteral("DB=") + m_db, QStringLiteral("SQL=") + sql};
        run.environment = environment();
        run.workingDirectory = m_dir->path();
        run.timeoutMs = kTimeBoundMs;
        bool stayedOpen = false;
        run.whileRunning = [&stayedOpen](QProcess &process) {
            stayedOpen = !process.waitForFinished(2000) && process.state() == QProcess::Running;
            process.kill();
        };
        const Outcome o = rux::test::runProcess(run);
        QVERIFY(o.started);
        QVERIFY(stayedOpen);
        QVERIFY(o.crashed);
        QCOMPARE(log(), QString());
        QCOMPARE(o.err.contains(QStringLiteral("rux_ppp:")), false);
    }
};

QTEST_GUILESS_MAIN(TestUnattended)
#include "tst_unattended.moc"
