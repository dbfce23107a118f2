// The PostgreSQL engine on a server: values exactly as the program has
// always read them and their cell text, the tool's parameter marks found by the
// server's quoting rules, the one-statement and no-parameter rules in the
// server's own words mapped to the tool's, one round trip per statement,
// reads given up and taken up again with nothing left on the server, the
// catalog facts for editing rows, a stop from another thread, and a server
// that ends the connection or does not answer at all.

#include "tests/support/failureof.h"
#include "tests/support/pgfixture.h"
#include "tests/support/valuesignature.h"

#include "db/keepalive.h"
#include "db/postgres/libpq.h"
#include "db/postgres/pgengine.h"
#include "db/postgres/pgscan.h"
#include "db/valuetext.h"
#include "base/ansicodec.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include <signal.h>

using rux::EngineResult;
using rux::PostgresEngine;
using rux::test::failureOf;

namespace {

const QString kNoValue = QStringLiteral("No value given for one or more required parameters.");
const QString kAfterEnd = QStringLiteral("Characters found after end of SQL statement.");
const QString kNoStatement = QStringLiteral("Invalid SQL statement: the command text holds no statement.");
const QString kClosed = QStringLiteral("The connection is closed.");
const QString kTerminated = QStringLiteral("terminating connection due to administrator command.");

// The server process that serves the engine's connection.
QString backendPid(PostgresEngine &engine)
{
    return engine.read(QStringLiteral("select pg_backend_pid()"), {}).value(0).value(0).toString();
}

// Waits, on a connection of its own, until the server process `pid` runs a
// statement (`running`) or is gone (not `running`); false after 10 s.
bool awaitBackend(const QString &pid, bool running)
{
    rux::test::OtherConnection other(rux::test::pgServerUri());
    const QString sql = QStringLiteral("select count(*) from pg_stat_activity where pid = %1%2")
                            .arg(pid, running ? QStringLiteral(" and state = 'active'") : QString());
    for (int i = 0; i < 500; ++i) {
        if ((other.value(sql).toInt() > 0) == running)
            return true;
        QThread::msleep(20);
    }
    return false;
}

// Runs `statement` on the engine while another thread waits for it to run
// on the server and then calls `meanwhile` with the server process; the
// statement's failure text.
QString failureWhileRunning(PostgresEngine &engine, const QString &statement,
                            const std::function<void(const QString &pid)> &meanwhile)
{
    const QString pid = backendPid(engine);
    std::thread other([&] {
        if (awaitBackend(pid, true))
            meanwhile(pid);
    });
    qint64 affected = 0;
    const QString failure = failureOf([&] { engine.run(statement, false, &affected); });
    other.join();
    return failure;
}

// Why the test cannot stop the server process `pid` with a signal (it is
// not this machine's, or not this user's to signal); empty when it can.
QString cannotSignal(PostgresEngine &engine, const QString &pid)
{
    const QVector<QVector<QVariant>> local = engine.read(
        QStringLiteral("select coalesce(host(inet_server_addr()) in ('127.0.0.1', '::1'), true)"), {});
    if (!local.value(0).value(0).toBool())
        return QStringLiteral("the server runs on another host");
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("postgres"))
        return QStringLiteral("the server process is not to be found here");
    if (::kill(pid.toInt(), 0) != 0)
        return QStringLiteral("the server process may not be signalled by this user");
    return QString();
}

} // namespace

class TestPgEngine : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<rux::test::PgSchema> m_schema;
    std::unique_ptr<PostgresEngine> m_engine;

    std::unique_ptr<EngineResult> run(const QString &text)
    {
        qint64 affected = 0;
        return m_engine->run(text, true, &affected);
    }
    // The first column of the rows still to come, as text.
    static QStringList rest(EngineResult &result)
    {
        QStringList rows;
        while (result.next())
            rows.append(result.value(0).toString());
        return rows;
    }
    static QStringList numbers(int from, int to)
    {
        QStringList out;
        for (int i = from; i <= to; ++i)
            out.append(QString::number(i));
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The local times of the expected values are those of UTC.
        qputenv("TZ", "UTC");
        tzset();
        RUX_NEED_PG_SERVER();
        m_schema = std::make_unique<rux::test::PgSchema>(QStringLiteral("pgengine"));
        QVERIFY2(m_schema->error().isEmpty(), qPrintable(m_schema->error()));
        m_engine = std::make_unique<PostgresEngine>(m_schema->uri());
        m_engine->write(QStringLiteral("CREATE TABLE t (id int PRIMARY KEY, name text)"), {});
        m_engine->write(QStringLiteral("INSERT INTO t SELECT g, 'n' || g FROM generate_series(0, 49) g"), {});
    }
    void cleanupTestCase()
    {
        m_engine.reset();
        m_schema.reset();
    }
    void init() { rux::keepalive::install({}); }

    void values_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("signature");
        // Each value with its type, as the program has always read it.
        const struct { const char *expression; const char *signature; } rows[] = {
            {"true", "bool true"},
            {"false", "bool false"},
            {"null::bool", "bool null"},
            {"B'1'::bit(1)", "QString 1"},
            {"B'0'::bit(1)", "QString 0"},
            {"B'101'::bit(3)", "QString 101"},
            {"7::int2", "int 7"},
            {"(-32768)::int2", "int -32768"},
            {"2147483647", "int 2147483647"},
            {"null::int4", "int null"},
            {"9223372036854775807::int8", "qulonglong 9223372036854775807"},
            {"'-9223372036854775808'::int8", "qlonglong -9223372036854775808"},
            {"0::int8", "qulonglong 0"},
            {"null::int8", "qlonglong null"},
            {"26::oid", "QString 26"},
            {"'1'::xid", "int 1"},
            {"'1.5'::float4", "double 1.5"},
            {"'-0'::float8", "double -0"},
            {"'NaN'::float8", "double nan"},
            {"'Infinity'::float8", "double inf"},
            {"'-Infinity'::float4", "double -inf"},
            {"'1e300'::float8", "double 1.0000000000000001e+300"},
            {"'1.2345678901234567e-7'::float8", "double 1.2345678901234566e-07"},
            {"null::float8", "double null"},
            {"1.50::numeric", "QString 1.50"},
            {"'-0.000000000000000000001'::numeric", "QString -0.000000000000000000001"},
            {"123456789012345678901234567890.123456789::numeric", "QString 123456789012345678901234567890.123456789"},
            {"'NaN'::numeric", "QString NaN"},
            {"null::numeric", "double null"},
            {"'2024-02-29'::date", "QDate 2024-02-29"},
            {"'0044-03-15 BC'::date", "QDate 0044-03-15"},
            {"'infinity'::date", "QDate "},
            {"null::date", "QDate null"},
            {"'13:14:15.678'::time", "QTime 13:14:15.678"},
            {"'24:00:00'::time", "QTime 00:00:00.000"},
            {"'12:34:56+02'::timetz", "QTime "},
            {"'2020-01-02 03:04:05.678'::timestamp", "QDateTime 2020-01-02T03:04:05.678"},
            {"'2020-01-02 03:04:05+05:30'::timestamptz", "QDateTime 2020-01-01T21:34:05.000"},
            {"'2020-06-02 03:04:05-07'::timestamptz", "QDateTime 2020-06-02T10:04:05.000"},
            {"'infinity'::timestamp", "QDateTime "},
            {"null::timestamptz", "QDateTime null"},
            {"'1 year 2 days 03:04:05'::interval", "QString 1 year 2 days 03:04:05"},
            {"ARRAY[1, NULL, 3]", "QString {1,NULL,3}"},
            {"'{\"a\": [1, \"ü\"]}'::json", "QString {\"a\": [1, \"ü\"]}"},
            {"'{\"b\": 2}'::jsonb", "QString {\"b\": 2}"},
            {"'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid", "QString a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
            {"'\\x00ff4100'::bytea", "QByteArray 00ff4100"},
            {"''::bytea", "QByteArray "},
            {"null::bytea", "QByteArray null"},
            {"'Grüße € 日本 😀'::text", "QString Grüße € 日本 😀"},
            {"'a\tb\r\nc'::varchar(9)", "QString a\tb\r\nc"},
            {"''::text", "QString "},
            {"null::text", "QString null"},
            {"'x'::char(3)", "QString x  "},
            {"'127.0.0.1/8'::inet", "QString 127.0.0.1/8"},
            {"'(1,2)'::point", "QString (1,2)"},
            {"'now'::regproc", "int 0"},
        };
        for (const auto &row : rows)
            QTest::newRow(row.expression) << QString::fromUtf8(row.expression) << QString::fromUtf8(row.signature);
    }
    // The engine reads every value with its type as the program always has
    // read it, and writes its cell text as the value's text gives it.
    void values()
    {
        QFETCH(QString, expression);
        QFETCH(QString, signature);
        const QString sql = QStringLiteral("SELECT ") + expression + QStringLiteral(" AS v");
        // Streamed, then on a screen (a chunk through a cursor), there run
        // again from its second row (the query's OFFSET form).
        for (const int mode : {0, 1, 2}) {
            const bool again = mode == 2;
            rux::keepalive::install(mode > 0 ? std::function<void()>([] {}) : std::function<void()>());
            auto result = run(sql + QStringLiteral(" FROM generate_series(1, 2)"));
            if (again)
                QCOMPARE(result->restart(1), 0);
            QVERIFY(result && result->next());
            const QVariant actual = result->value(0);
            QCOMPARE(rux::test::valueSignature(actual), signature);
            const bool yesNo = result->columns().yesNo.value(0);
            const bool decimal = result->columns().decimal.value(0);
            QCOMPARE(yesNo, expression.contains(QLatin1String("bool")) || expression.startsWith(QLatin1String("true"))
                         || expression.startsWith(QLatin1String("false")) || expression.contains(QLatin1String("bit(1)")));
            QCOMPARE(decimal, expression.contains(QLatin1String("numeric")));
            for (const QChar point : {QChar(u'.'), QChar(u','), QChar(u'·')}) {
                QByteArray bytes("|");
                result->appendAnsi(0, point, bytes);
                QCOMPARE(bytes, "|" + rux::encodeAnsi(rux::cellText(actual, yesNo, decimal, point)));
            }
            QCOMPARE(result->next(), !again);
        }
    }

    void marks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("mark");
        QTest::newRow("plain") << "select 1 where 1 = :p" << true;
        QTest::newRow("literal") << "select ':p'" << false;
        QTest::newRow("doubled quote") << "select 'it''s :p'" << false;
        QTest::newRow("after literal") << "select 'a'':' || :p" << true;
        QTest::newRow("escape literal") << "select E'it\\'s; :p'" << false;
        QTest::newRow("escaped backslash") << "select E'a\\\\' || :p" << true;
        QTest::newRow("no escape in a name") << "select 1 from tablee'\\' :p'" << true;
        QTest::newRow("quoted name") << "select 1 as \":p\"" << false;
        QTest::newRow("dollar quote") << "select $$a:b$$" << false;
        QTest::newRow("tagged dollar quote") << "select $x$ $$ :p $x$" << false;
        QTest::newRow("after dollar quote") << "select $x$a$x$ || :p" << true;
        QTest::newRow("dollar parameter") << "select $1, :p" << true;
        QTest::newRow("cast") << "select x::int" << false;
        QTest::newRow("line comment") << "select 1 -- :c" << false;
        QTest::newRow("after line comment") << "select 1 -- c\n, :c" << true;
        QTest::newRow("nested comment") << "select 1 /* /* :d */ */" << false;
        QTest::newRow("inside nested comment") << "select 1 /* /* */ :d */" << false;
        QTest::newRow("after comment") << "select 1 /* */ :d" << true;
        QTest::newRow("unclosed literal") << "select ':p" << false;
    }
    void marks()
    {
        QFETCH(QString, text);
        QFETCH(bool, mark);
        QCOMPARE(rux::pg::holdsToolMark(text), mark);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("failure");
        QTest::newRow("two statements") << "select 1; select 2" << kAfterEnd;
        QTest::newRow("after a comment") << "select 1; -- x\nselect 2" << kAfterEnd;
        QTest::newRow("a command after") << "select 1; create table x (a int)" << kAfterEnd;
        QTest::newRow("own parameter") << "select $1" << kNoValue;
        QTest::newRow("typed own parameter") << "select $1::int" << kNoValue;
        QTest::newRow("tool mark") << "select :p" << kNoValue;
        QTest::newRow("blank") << " \n " << kNoStatement;
        QTest::newRow("comment only") << "-- nothing\n/* here */" << kNoStatement;
        QTest::newRow("syntax") << "select 1 fro t" << "syntax error at or near \"t\"";
        QTest::newRow("no statement after") << "insert into nowhere values (1); xyz" << kAfterEnd;
        QTest::newRow("syntax after a quoted ;") << "select ';' fro t" << "syntax error at or near \"t\"";
        QTest::newRow("syntax in a function") << "do $$ begin execute 'selec 1'; end $$"
                                              << "syntax error at or near \"selec\"";
        QTest::newRow("missing table") << "select * from nowhere" << "relation \"nowhere\" does not exist";
        QTest::newRow("NUL") << QStringLiteral("select 'a%1'").arg(QChar(u'\0'))
                             << "The command text holds a NUL character.";
    }
    // The same words with and without rows.
    void refusals()
    {
        QFETCH(QString, text);
        QFETCH(QString, failure);
        for (const bool wantRows : {true, false}) {
            qint64 affected = 0;
            QCOMPARE(failureOf([&] { m_engine->run(text, wantRows, &affected); }), failure);
        }
        // The connection is fine afterwards.
        QCOMPARE(m_engine->read(QStringLiteral("select 5"), {}).value(0).value(0).toInt(), 5);
    }

    void accepted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("semicolon") << "select 1 as a;";
        QTest::newRow("empty statements") << "select 1 as a;;";
        QTest::newRow("comment") << "select 1 as a ; -- done";
        QTest::newRow("escape literal") << "select E'it\\'s; x' as a";
    }
    void accepted()
    {
        QFETCH(QString, text);
        auto result = run(text);
        QVERIFY(result);
        QCOMPARE(result->columns().names, QStringList{QStringLiteral("a")});
        QVERIFY(result->next());
        QVERIFY(!result->next());
        // Run again past its row, in its OFFSET form or as it is.
        QCOMPARE(result->restart(1), 0);
        QVERIFY(!result->next());
    }

    // A statement is sent once: no separate parse and describe before it.
    void oneRoundTrip()
    {
        QTemporaryDir dir;
        const QByteArray path = dir.filePath(QStringLiteral("trace")).toLocal8Bit();
        const rux::pg::Libpq &pq = rux::pg::libpq();
        PGconn *conn = m_engine->connection();
        FILE *file = std::fopen(path.constData(), "w");
        QVERIFY(file);
        pq.PQtrace(conn, file);
        {
            auto result = run(QStringLiteral("select g from generate_series(1, 5) g"));
            QCOMPARE(rest(*result), numbers(1, 5));
        }
        m_engine->write(QStringLiteral("update t set name = name where id = $1"), {QVariant(3)});
        pq.PQuntrace(conn);
        std::fclose(file);
        QFile trace(QString::fromLocal8Bit(path));
        QVERIFY(trace.open(QIODevice::ReadOnly));
        int syncs = 0, parses = 0;
        for (const QByteArray &line : trace.readAll().split('\n')) {
            syncs += line.contains("\tF\t") && line.contains("\tSync");
            parses += line.contains("\tF\t") && line.contains("\tParse");
        }
        QCOMPARE(syncs, 2);
        QCOMPARE(parses, 2);
    }

    // A streamed read given up part-way reads on where it stood.
    void pauseAndRestart()
    {
        auto result = run(QStringLiteral("select id from t order by id"));
        QStringList seen;
        for (int i = 0; i < 10 && result->next(); ++i)
            seen.append(result->value(0).toString());
        QVERIFY(result->pause());
        QCOMPARE(result->value(0).toInt(), 9);
        QCOMPARE(m_engine->read(QStringLiteral("select count(*) from t"), {}).value(0).value(0).toLongLong(), 50);
        for (int i = 0; i < 10 && result->next(); ++i)
            seen.append(result->value(0).toString());
        // Another command without a pause gives the read up all the same.
        QCOMPARE(m_engine->read(QStringLiteral("select 7"), {}).value(0).value(0).toInt(), 7);
        QVERIFY(!m_engine->inTransaction());
        seen += rest(*result);
        QCOMPARE(seen, numbers(0, 49));

        QCOMPARE(result->restart(20), 19);
        QCOMPARE(rest(*result), numbers(20, 49));
        QCOMPARE(result->rerun(), -1);
        QCOMPARE(rest(*result), numbers(0, 49));
    }

    // A read of more rows than the connection buffers, given up while the
    // statement still runs: cancelled outside a transaction block, read to
    // its end inside one, which it must not fail.
    void pauseRunning()
    {
        for (const bool inBlock : {false, true}) {
            if (inBlock)
                m_engine->runControl(QStringLiteral("BEGIN"));
            auto result = run(QStringLiteral("select g from generate_series(1, 300000) g"));
            QVERIFY(result->next());
            QVERIFY(result->pause());
            QCOMPARE(m_engine->inTransaction(), inBlock);
            QCOMPARE(m_engine->read(QStringLiteral("select 3"), {}).value(0).value(0).toInt(), 3);
            if (inBlock)
                m_engine->runControl(QStringLiteral("COMMIT"));
            QVERIFY(!m_engine->inTransaction());
            QVERIFY(result->next());
            QCOMPARE(result->value(0).toInt(), 2);
        }
    }

    // Between two reads nothing stays on the server, neither a cursor nor a
    // transaction, and the session was given no setting by a statement: a
    // pooler may hand each statement to another server session. A read
    // taken up again past its first row runs the query's OFFSET form, and
    // reads the rows of now.
    void nothingStaysOnTheServer()
    {
        rux::keepalive::install([] {});
        rux::test::OtherConnection other(rux::test::pgServerUri());
        const QString pid = backendPid(*m_engine);
        {
            auto result = run(QStringLiteral("select id from t order by id"));
            QVERIFY(result->next());
            QVERIFY(result->next());
            QVERIFY(result->pause());
            QCOMPARE(other.values(QStringLiteral("select state, backend_xid is null from pg_stat_activity "
                                                 "where pid = %1").arg(pid)),
                     QStringLiteral("idle|true"));
            QCOMPARE(other.values(QStringLiteral("select count(*) from pg_cursors")), QStringLiteral("0"));
            QCOMPARE(m_engine->write(QStringLiteral("insert into t values ($1, $2)"), {QVariant(50), QVariant()}), 1);
            QCOMPARE(rest(*result), numbers(2, 50));
            QCOMPARE(other.values(QStringLiteral("select state from pg_stat_activity where pid = %1").arg(pid)),
                     QStringLiteral("idle"));
        }
        QCOMPARE(m_engine->write(QStringLiteral("delete from t where id = $1"), {QVariant(50)}), 1);
        // The wait for a lock came with the session's start; a statement
        // that cannot stand in a subquery is read again as it is.
        auto shown = run(QStringLiteral("show lock_timeout"));
        QVERIFY(shown && shown->next());
        QCOMPARE(shown->value(0).toString(), QStringLiteral("5s"));
        QCOMPARE(shown->restart(1), 0);
        QVERIFY(!shown->next());
        QCOMPARE(m_engine->read(QStringLiteral("select count(*) from pg_settings where source = 'session'"), {})
                     .value(0)
                     .value(0)
                     .toLongLong(),
                 0);
    }

    // A wait on the server keeps the windows alive, in a result and in
    // the program's own statements.
    void windowsKeptAlive()
    {
        int pumped = 0;
        rux::keepalive::install([&pumped] { ++pumped; });
        run(QStringLiteral("select pg_sleep(0.3)"));
        QVERIFY(pumped > 0);
        pumped = 0;
        m_engine->read(QStringLiteral("select pg_sleep(0.3)"), {});
        QVERIFY(pumped > 0);
        pumped = 0;
        m_engine->runControl(QStringLiteral("BEGIN"));
        run(QStringLiteral("select pg_sleep(0.3)"))->next();
        m_engine->runControl(QStringLiteral("COMMIT"));
        QVERIFY(pumped > 0);
    }

    void withoutRows()
    {
        qint64 affected = 0;
        QVERIFY(!m_engine->run(QStringLiteral("update t set name = name where id < 5"), false, &affected));
        QCOMPARE(affected, 5);
        QVERIFY(!m_engine->run(QStringLiteral("update t set name = name where id < 3"), true, &affected));
        QCOMPARE(affected, 3);
        QVERIFY(!m_engine->run(QStringLiteral("set search_path = ") + m_schema->name(), true, &affected));
        QCOMPARE(affected, -1);
        // A copy's rows go nowhere, and it has none to read from the program.
        QVERIFY(!m_engine->run(QStringLiteral("copy t to stdout"), true, &affected));
        QCOMPARE(affected, 50);
        QCOMPARE(failureOf([&] { m_engine->run(QStringLiteral("copy t from stdin"), false, &affected); }),
                 QStringLiteral("COPY from stdin failed: the program sends no data to COPY FROM STDIN"));
        QCOMPARE(m_engine->read(QStringLiteral("select count(*) from t"), {}).value(0).value(0).toLongLong(), 50);
    }

    // A connection the server ends, during a statement or between two,
    // fails the statement with one sentence, the server's own; every later
    // use finds the connection closed, with no transaction left open.
    void serverEndsTheConnection()
    {
        auto terminate = [](const QString &pid) {
            rux::test::OtherConnection(rux::test::pgServerUri())
                .run({QStringLiteral("select pg_terminate_backend(%1)").arg(pid)});
        };
        for (const bool idle : {false, true}) {
            PostgresEngine engine(m_schema->uri());
            engine.runControl(QStringLiteral("BEGIN"));
            qint64 affected = 0;
            if (idle) {
                const QString pid = backendPid(engine);
                terminate(pid);
                QVERIFY(awaitBackend(pid, false));
                QCOMPARE(failureOf([&] { engine.run(QStringLiteral("select 1"), true, &affected); }), kTerminated);
            } else {
                QCOMPARE(failureWhileRunning(engine, QStringLiteral("select pg_sleep(30)"), terminate), kTerminated);
            }
            QVERIFY(!engine.inTransaction());
            QCOMPARE(failureOf([&] { engine.run(QStringLiteral("select 1"), false, &affected); }), kClosed);
            QCOMPARE(failureOf([&] { engine.runControl(QStringLiteral("ROLLBACK")); }), kClosed);
        }
    }
    // A stop from another thread cancels the statement; the server
    // answers, and the connection goes on.
    void interruptFromAnotherThread()
    {
        QCOMPARE(failureWhileRunning(*m_engine, QStringLiteral("select pg_sleep(30)"),
                                     [this](const QString &) { m_engine->interrupt(); }),
                 QStringLiteral("canceling statement due to user request"));
        QCOMPARE(m_engine->read(QStringLiteral("select 6"), {}).value(0).value(0).toInt(), 6);
    }

    // A server process that does not answer (stopped) cannot hold the
    // program: once the cancel has gone unanswered for the grace period the
    // statement fails and the connection is given up, its transaction with
    // it.
    void interruptOfAStoppedServer()
    {
        PostgresEngine engine(m_schema->uri());
        const QString pid = backendPid(engine);
        const QString why = cannotSignal(engine, pid);
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        struct Resume
        {
            int pid;
            ~Resume() { ::kill(pid, SIGCONT); }
        } resume{pid.toInt()};
        engine.runControl(QStringLiteral("BEGIN"));
        const auto started = std::chrono::steady_clock::now();
        // The interrupt is repeated every 100 ms for 7 s, as a stop from
        // outside repeats it: the grace counts from the first request, so
        // the statement fails after 5 s, not 5 s after the last request.
        const QString failure = failureWhileRunning(engine, QStringLiteral("select pg_sleep(60)"),
                                                    [&engine](const QString &running) {
                                                        ::kill(running.toInt(), SIGSTOP);
                                                        for (int i = 0; i < 70; ++i) {
                                                            engine.interrupt();
                                                            std::this_thread::sleep_for(
                                                                std::chrono::milliseconds(100));
                                                        }
                                                    });
        QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::seconds(11));
        QCOMPARE(failure, QStringLiteral("The server did not answer within 5 seconds after the statement "
                                         "was cancelled; the connection was closed."));
        QVERIFY(!engine.inTransaction());
        QCOMPARE(failureOf([&] { engine.runControl(QStringLiteral("ROLLBACK")); }), kClosed);
        qint64 affected = 0;
        QCOMPARE(failureOf([&] { engine.run(QStringLiteral("select 1"), true, &affected); }), kClosed);
        engine.interrupt();
    }
};

QTEST_GUILESS_MAIN(TestPgEngine)
#include "tst_pgengine.moc"
