// The query object on every engine: its SQL lines, Open and ExecSQL, the
// cursor operations, field texts and names of real results, the
// one-statement, no-NUL and no-parameter rules, the engine's failure texts,
// and reading large results without keeping them.

#include "tests/support/failureof.h"
#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "tests/support/enginedb.h"
#include "base/failure.h"

#include <QFile>
#include <QTest>

#include <memory>

using rux::AdoConnection;
using rux::AdoQuery;
using namespace rux::test;

namespace {

const Engine lite = Engine::Sqlite;
const Engine pg = Engine::Postgres;

} // namespace

class TestAdoQuery : public QObject, private rux::test::EngineFixture
{
    Q_OBJECT

private:
    std::unique_ptr<AdoQuery> m_q;

    bool open(Engine engine)
    {
        QStringList schema = {
            QStringLiteral("create table t(id integer primary key, v text)"),
            QStringLiteral("insert into t values(1, 'one'), (2, 'two')"),
            QStringLiteral("create table empty(x integer)"),
            QStringLiteral("create table ins(x text)"),
        };
        if (engine == Engine::Sqlite) {
            schema << QStringLiteral("create table flags(a BOOLEAN, b BIT, c YESNO, d LOGICAL, e bit(1))")
                   << QStringLiteral("insert into flags values(1, 0, 1, 0, 1), (0, 1, 0, 1, 0)");
        } else {
            schema << QStringLiteral("create table typed (id int primary key, name text, ok boolean, "
                                     "amount numeric(12,3), f float8, d date, ts timestamp, b bytea)")
                   << QStringLiteral("insert into typed values (1, 'a', true, 12.5, 1.5, '2024-01-02', "
                                     "'2024-01-02 03:04:05', 'xy'), (2, 'b', false, null, null, null, null, null)");
        }
        if (!openEngine(engine, schema))
            return false;
        m_q = std::make_unique<AdoQuery>(m_con.get(), QStringLiteral("Query1"));
        return true;
    }

    // A table big(i) with the rows 1..n.
    bool makeBig(int n)
    {
        return m_db->run({QStringLiteral("create table big(i integer primary key)"),
                          QStringLiteral("insert into big(i) ") + rux::test::seriesSql(m_db->engine(), n)});
    }

    void setSql(const QString &text)
    {
        m_q->sqlClear();
        m_q->sqlAdd(text);
    }

    QString count(const QString &table) { return m_db->value(QStringLiteral("select count(*) from ") + table); }

private Q_SLOTS:
    void cleanup()
    {
        m_q.reset();
        closeEngine();
    }

    void sqlTextEndsEveryLineWithCrLf()
    {
        AdoConnection con(QStringLiteral("access_con"));
        AdoQuery q(&con, QStringLiteral("Query1"));
        QCOMPARE(q.sqlText(), QString());
        q.sqlAdd(QStringLiteral("select"));
        q.sqlAdd(QString());
        q.sqlAdd(QStringLiteral("  1 "));
        QCOMPARE(q.sqlText(), QStringLiteral("select\r\n\r\n  1 \r\n"));
        QCOMPARE(q.sqlCount(), 3);
        q.sqlClear();
        QCOMPARE(q.sqlText(), QString());
        QCOMPARE(q.sqlCount(), 0);
    }

    void changeClosesTheQuery_data()
    {
        addEngineColumn();
        QTest::addColumn<bool>("clear");
        bothRows("add_a_line") << false;
        bothRows("clear_the_list") << true;
    }

    void changeClosesTheQuery()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(bool, clear);
        m_q->sqlAdd(QStringLiteral("select * from t"));
        m_q->Open();
        QVERIFY(m_q->active());
        if (clear)
            m_q->sqlClear();
        else
            m_q->sqlAdd(QStringLiteral(" "));
        QVERIFY(!m_q->active());
    }

    void openWhenOpenDoesNothing_data() { rowPerEngine(); }

    void openWhenOpenDoesNothing()
    {
        RUX_ENGINE_ROW(open);
        m_q->sqlAdd(QStringLiteral("select id from t order by id"));
        m_q->Open();
        m_q->Next();
        m_q->Open();
        QCOMPARE(m_q->asString(1), QStringLiteral("2"));
    }

    // A text without a statement fails in Open and in ExecSQL.
    void textWithoutStatementFails_data()
    {
        addEngineColumn();
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("failure");
        const QString none = QStringLiteral("Invalid SQL statement: the command text holds no statement.");
        bothRows("no_lines") << QStringList() << "Query1: Eigenschaft SQL fehlt";
        bothRows("one_blank_line") << QStringList({" "}) << none;
        bothRows("empty_lines") << QStringList({"", ""}) << none;
        bothRows("tabs_and_blanks") << QStringList({"\t ", "   "}) << none;
        bothRows("only_a_comment") << QStringList({"-- nothing here"}) << none;
        bothRows("only_a_semicolon") << QStringList({";"}) << none;
    }

    void textWithoutStatementFails()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QStringList, lines);
        QFETCH(QString, failure);
        for (const QString &line : lines)
            m_q->sqlAdd(line);
        QCOMPARE(failureOf([&]() { m_q->Open(); }), failure);
        QVERIFY(!m_q->active());
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }), failure);
    }

    void openOfStatementWithoutRowsRunsThenFails_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("check");
        engineRow(Engine::Sqlite, "create_table")
            << "create table made_by_open(x)" << "select count(*) from sqlite_master where name = 'made_by_open'";
        engineRow(Engine::Postgres, "create_table")
            << "create table made_by_open(x int)" << "select count(*) from pg_tables where tablename = 'made_by_open'";
        bothRows("insert") << "insert into ins values ('seven')"
                           << "select count(*) from ins where x = 'seven'";
    }

    void openOfStatementWithoutRowsRunsThenFails()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(QString, check);
        setSql(sql);
        QCOMPARE(failureOf([&]() { m_q->Open(); }),
                 QStringLiteral("Query1: CommandText gibt keine Ergebnismenge zurück"));
        QVERIFY(!m_q->active());
        QCOMPARE(m_db->value(check), QStringLiteral("1"));
    }

    void closedQueryRefusesCursorOperations_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("operation");
        for (const char *op : {"First", "Next", "Eof", "fieldCount", "asString"})
            bothRows(QString::fromLatin1(op)) << QString::fromLatin1(op);
    }

    void closedQueryRefusesCursorOperations()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, operation);
        setSql(QStringLiteral("select * from t"));
        const QString text = failureOf([&]() {
            if (operation == QLatin1String("First"))
                m_q->First();
            else if (operation == QLatin1String("Next"))
                m_q->Next();
            else if (operation == QLatin1String("Eof"))
                m_q->Eof();
            else if (operation == QLatin1String("fieldCount"))
                m_q->fieldCount();
            else
                m_q->asString(1);
        });
        QCOMPARE(text, QStringLiteral("Query1: Operation bei geschlossener Datenmenge nicht ausführbar"));
    }

    void cursorWalksTheRows_data() { rowPerEngine(); }

    void cursorWalksTheRows()
    {
        RUX_ENGINE_ROW(open);
        setSql(QStringLiteral("select id, v from t order by id"));
        m_q->Open();
        QCOMPARE(m_q->fieldCount(), 2);
        QCOMPARE(m_q->fieldName(1), QStringLiteral("id"));
        QCOMPARE(m_q->fieldName(2), QStringLiteral("v"));
        QStringList seen;
        for (m_q->First(); !m_q->Eof(); m_q->Next())
            seen << m_q->asString(1) + u'=' + m_q->asString(2);
        QCOMPARE(seen, QStringList({QStringLiteral("1=one"), QStringLiteral("2=two")}));
        // Next at the end stays at the end; First starts over.
        m_q->Next();
        QVERIFY(m_q->Eof());
        m_q->First();
        QVERIFY(!m_q->Eof());
        QCOMPARE(m_q->asString(2), QStringLiteral("one"));
        // Without rows, First is at the end at once; the fields read empty.
        setSql(QStringLiteral("select * from empty"));
        m_q->Open();
        m_q->First();
        QVERIFY(m_q->Eof());
        QCOMPARE(m_q->fieldCount(), 1);
        QCOMPARE(m_q->asString(1), QString());
    }

    void fieldNames_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("expressionName");
        engineRow(Engine::Sqlite, "names") << QStringLiteral("1 + 1");
        engineRow(Engine::Postgres, "names") << QStringLiteral("?column?");
    }

    void fieldNames()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, expressionName);
        setSql(QStringLiteral("select id, v as \"Der Name\", 1 + 1 from t"));
        m_q->Open();
        QCOMPARE(m_q->fieldCount(), 3);
        QCOMPARE(m_q->fieldName(1), QStringLiteral("id"));
        QCOMPARE(m_q->fieldName(2), QStringLiteral("Der Name"));
        QCOMPARE(m_q->fieldName(3), expressionName);
    }

    // What AsString gives of each kind of value: fields joined by "|", rows
    // by "/".
    void fieldTexts_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        engineRow(lite, "integers") << "select 0, -7, 9223372036854775807" << "0|-7|9223372036854775807";
        engineRow(lite, "reals") << "select 0.1, 1.0/3, 1e20, 2.5, -0.5" << "0.1|0.333333333333333|1E20|2.5|-0.5";
        engineRow(lite, "yes_no_true_row") << "select a, b, c, d, e from flags where a = 1"
                                           << "Wahr|Falsch|Wahr|Falsch|Wahr";
        engineRow(lite, "yes_no_false_row") << "select a, b, c, d, e from flags where a = 0"
                                            << "Falsch|Wahr|Falsch|Wahr|Falsch";
        engineRow(lite, "expression_over_yes_no_is_a_number") << "select a + 0 from flags where a = 1" << "1";
        engineRow(lite, "colon_inside_literal") << "select ':a', \":b\"" << ":a|:b";
        bothRows("null_is_empty") << "select null, ''" << "|";
        bothRows("text") << "select 'a b', 'Grüße', '  x  '" << "a b|Grüße|  x  ";
        bothRows("no_rows") << "select id from t where id < 0" << "";
        bothRows("several_rows") << "select v from t order by id" << "one/two";
        engineRow(pg, "row_with_values") << "select id, name, ok, amount, f, d, ts, b from typed where id = 1"
                                         << "1|a|Wahr|12.500|1.5|2024-01-02|2024-01-02 03:04:05|xy";
        engineRow(pg, "row_with_nulls") << "select id, name, ok, amount, f, d, ts, b from typed where id = 2"
                                        << "2|b|Falsch|||||";
        engineRow(pg, "booleans") << "select true, false, null::boolean" << "Wahr|Falsch|";
        engineRow(pg, "bit_1_is_yes_no") << "select B'1'::bit(1), B'0'::bit(1), B'101'::bit(3)" << "Wahr|Falsch|101";
        engineRow(pg, "reals_15_digits") << "select 1e20::float8, 0.1::float8 + 0.2::float8, 1.5e-7::float8"
                                         << "1E20|0.3|1.5E-7";
        engineRow(pg, "numeric_keeps_every_digit") << "select 123456789012345678901234.5678::numeric"
                                                   << "123456789012345678901234.5678";
        engineRow(pg, "big_integers") << "select 9007199254740993::int8, (-32768)::int2" << "9007199254740993|-32768";
        engineRow(pg, "text_with_umlauts") << "select 'Umsätze'::text, ''::text" << "Umsätze|";
    }

    void fieldTexts()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        setSql(sql);
        m_q->Open();
        QCOMPARE(readAll(*m_q), expected);
    }

    // A text with a parameter mark is refused, by Open and by ExecSQL, and
    // runs nothing; a colon that is no mark runs.
    void parameterMarks_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("result");
        const QString refused = QStringLiteral("No value given for one or more required parameters.");
        engineRow(lite, "colon_name") << "select :a" << refused;
        engineRow(lite, "question_mark") << "select ?" << refused;
        engineRow(lite, "dollar_name") << "select $x" << refused;
        engineRow(lite, "at_name") << "select @x" << refused;
        engineRow(lite, "numbered") << "select ?1" << refused;
        bothRows("in_insert") << "insert into ins values(:v)" << refused;
        engineRow(pg, "mark") << "select v from t where id = :id" << refused;
        engineRow(pg, "quoted_mark") << "select v from t where id = :\"the id\"" << refused;
        engineRow(pg, "server_parameter") << "select v from t where id = $1" << refused;
        engineRow(pg, "untyped_server_parameter") << "select $1" << refused;
        engineRow(pg, "cast_is_no_mark") << "select id::text || 'x' from t where id = 1" << "1x";
        engineRow(pg, "mark_in_comment") << "select v from t where id = 1 -- note: :id" << "one";
        engineRow(pg, "mark_in_block_comment") << "select v /* a :b */ from t where id = 1" << "one";
        engineRow(pg, "colon_in_literal") << "select 'a:b'" << "a:b";
    }

    void parameterMarks()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(QString, result);
        setSql(sql);
        const QString text = failureOf([&]() { m_q->Open(); });
        if (text == QLatin1String("<no failure>")) {
            QCOMPARE(readAll(*m_q), result);
            return;
        }
        QCOMPARE(text, result);
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }), result);
        QCOMPARE(count(QStringLiteral("ins")), QStringLiteral("0"));
    }

    // ExecSQL runs one statement: a text with a second one is refused and
    // runs nothing at all; a semicolon that ends the one, or stands in a
    // literal, is no second statement.
    void oneStatementPerText_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("failure");
        const QString second = QStringLiteral("Characters found after end of SQL statement.");
        bothRows("two_selects") << "select 1; select 2" << second;
        bothRows("two_inserts") << "insert into ins values('1'); insert into ins values('2')" << second;
        bothRows("two_inserts_on_lines") << "insert into ins values('1');\r\ninsert into ins values('2');"
                                         << second;
        bothRows("insert_then_garbage") << "insert into ins values('1'); xyz" << second;
        bothRows("trailing_semicolon") << "insert into ins values('5');" << "";
        bothRows("trailing_comment") << "insert into ins values('5'); -- done" << "";
        bothRows("semicolon_in_literal") << "insert into ins values(';x;')" << "";
        engineRow(Engine::Postgres, "semicolon_in_dollar_quotes") << "insert into ins values ($q$a;b$q$)" << "";
    }

    void oneStatementPerText()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(QString, failure);
        setSql(sql);
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }), failure.isEmpty() ? QStringLiteral("<no failure>") : failure);
        QCOMPARE(count(QStringLiteral("ins")), failure.isEmpty() ? QStringLiteral("1") : QStringLiteral("0"));
    }

    void trailingSemicolonAndBlanksAccepted_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        bothRows("semicolon") << QStringLiteral("select 1;");
        bothRows("semicolon_and_blank_lines") << QStringLiteral("select 1;\r\n  \r\n");
        bothRows("trailing_comment") << QStringLiteral("select 1; -- done");
        bothRows("empty_statements") << QStringLiteral("select 1;;");
    }

    void trailingSemicolonAndBlanksAccepted()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        setSql(sql);
        m_q->Open();
        QCOMPARE(m_q->asString(1), QStringLiteral("1"));
    }

    // The engine would read a text only up to a NUL character and run what
    // is left, an UPDATE without its WHERE, say: such a text is refused
    // before it reaches the engine.
    void nulCharacterRefused_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        const QChar nul(u'\0');
        bothRows("before_where") << QStringLiteral("update t set v = 'z' ") + nul + QStringLiteral("where id = 1");
        bothRows("inside_literal") << QStringLiteral("update t set v = 'z") + nul + QStringLiteral("' where id = 1");
        bothRows("at_the_end") << QStringLiteral("update t set v = 'z' where id = 1") + nul;
    }

    void nulCharacterRefused()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        setSql(sql);
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }), QStringLiteral("The command text holds a NUL character."));
        m_con->Close();
        QCOMPARE(count(QStringLiteral("t where v = 'z'")), QStringLiteral("0"));
    }

    void engineErrorTexts_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("failure");
        engineRow(lite, "missing_table") << "select * from nosuch" << "no such table: nosuch";
        engineRow(pg, "missing_table") << "select * from nosuch" << "relation \"nosuch\" does not exist";
        engineRow(lite, "syntax") << "selec 1" << "near \"selec\": syntax error";
        engineRow(pg, "syntax") << "selec 1" << "syntax error at or near \"selec\"";
        engineRow(pg, "duplicate_key")
            << "insert into typed (id) values (1)"
            << "duplicate key value violates unique constraint \"typed_pkey\": Key (id)=(1) already exists.";
        engineRow(pg, "error_while_reading") << "select 1 / (id - 2) from t order by id" << "division by zero";
    }

    void engineErrorTexts()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(QString, failure);
        setSql(sql);
        const QString text = failureOf([&]() { m_q->Open(); });
        if (text != QLatin1String("<no failure>")) {
            // Refused by Open: the query stays closed.
            QCOMPARE(text, failure);
            QVERIFY(!m_q->active());
        } else {
            QCOMPARE(failureOf([&]() { readAll(*m_q); }), failure);
        }
    }

    void queryOpensClosedConnection_data() { rowPerEngine(); }

    void queryOpensClosedConnection()
    {
        RUX_ENGINE_ROW(open);
        QVERIFY(!m_con->connected());
        // An empty list cleared changes nothing and opens nothing; adding
        // text opens the connection.
        m_q->sqlClear();
        QVERIFY(!m_con->connected());
        m_q->sqlAdd(QStringLiteral("select v from t order by id"));
        QVERIFY(m_con->connected());
        m_q->Open();
        QCOMPARE(readAll(*m_q), QStringLiteral("one/two"));
        // Closed behind the query's back, the next run opens it again.
        m_con->Close();
        QVERIFY(!m_q->active());
        m_q->Open();
        QVERIFY(m_con->connected());
        QCOMPARE(readAll(*m_q), QStringLiteral("one/two"));
    }

    void sqlAddOnMissingFileDefersTheFailure()
    {
        QTemporaryDir dir;
        AdoConnection con(QStringLiteral("access_con"));
        const QString missing = dir.filePath(QStringLiteral("missing.db"));
        con.setConnectionString(rux::buildConnectionString(missing));
        AdoQuery q(&con, QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("select 1"));
        QVERIFY(!con.connected());
        const QString text = failureOf([&]() { q.Open(); });
        QVERIFY2(text.contains(missing), qPrintable(text));
        QVERIFY(!QFile::exists(missing));
    }

    void execSqlOfSelectLeavesQueryClosed_data() { rowPerEngine(); }

    void execSqlOfSelectLeavesQueryClosed()
    {
        RUX_ENGINE_ROW(open);
        setSql(QStringLiteral("select * from t"));
        m_q->ExecSQL();
        QVERIFY(!m_q->active());
        QCOMPARE(m_q->columnCount(), 0);
        m_q->Open();
        QVERIFY(m_q->active());
        // ExecSQL on an open query runs the text and closes it.
        m_q->ExecSQL();
        QVERIFY(!m_q->active());
    }

    // Statements run at once for everyone, like on the file engine; a
    // script may still run its own transaction.
    void autocommit_data() { rowPerEngine(); }

    void autocommit()
    {
        RUX_ENGINE_ROW(open);
        setSql(QStringLiteral("insert into ins values ('committed')"));
        m_q->ExecSQL();
        // Seen at once by another connection, while this one stays open.
        QCOMPARE(m_db->value(QStringLiteral("select x from ins")), QStringLiteral("committed"));
        for (const char *s : {"begin", "insert into ins values ('undone')", "rollback"}) {
            setSql(QString::fromLatin1(s));
            m_q->ExecSQL();
        }
        QCOMPARE(count(QStringLiteral("ins")), QStringLiteral("1"));
    }

    void cursorReadingKeepsNoRows_data()
    {
        addEngineColumn();
        QTest::addColumn<int>("rows");
        engineRow(Engine::Sqlite, "large_result") << 200000;
        engineRow(Engine::Postgres, "large_result") << 2000;
    }

    void cursorReadingKeepsNoRows()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(int, rows);
        QVERIFY(makeBig(rows));
        setSql(QStringLiteral("select i from big order by i"));
        m_q->Open();
        qint64 n = 0;
        qint64 sum = 0;
        bool inOrder = true;
        for (m_q->First(); !m_q->Eof(); m_q->Next()) {
            ++n;
            sum += m_q->asString(1).toLongLong();
            if (n % 997 == 0 && m_q->asString(1).toLongLong() != n)
                inOrder = false;
        }
        QCOMPARE(n, qint64(rows));
        QCOMPARE(sum, qint64(rows) * (rows + 1) / 2);
        QVERIFY(inOrder);
        QCOMPARE(m_q->fetchedRowCount(), 0);
    }

    void gridRowsAndCursorReadingInterleave_data() { rowPerEngine(); }

    void gridRowsAndCursorReadingInterleave()
    {
        RUX_ENGINE_ROW(open);
        QVERIFY(makeBig(1000));
        setSql(QStringLiteral("select i from big order by i"));
        m_q->Open();
        m_q->fetchMore(256);
        QCOMPARE(m_q->fetchedRowCount(), 256);
        QStringList read;
        for (m_q->First(); !m_q->Eof(); m_q->Next())
            read << m_q->asString(1);
        QCOMPARE(read.size(), 1000);
        bool inOrder = true;
        for (int i = 0; i < read.size(); ++i)
            inOrder = inOrder && read[i] == QString::number(i + 1);
        QVERIFY(inOrder);
        m_q->fetchMore(256);
        QCOMPARE(m_q->fetchedRowCount(), 512);
        for (int r = 0; r < 512; ++r)
            QCOMPARE(m_q->value(r, 0).toInt(), r + 1);
        rux::test::fetchAll(*m_q);
        QCOMPARE(m_q->fetchedRowCount(), 1000);
        QCOMPARE(m_q->value(999, 0).toInt(), 1000);
        // After the cursor sits mid-way, the grid still continues in order.
        m_q->First();
        m_q->Next();
        QCOMPARE(m_q->asString(1), QStringLiteral("2"));
    }

    void gridFetchAfterPartialCursorRead_data() { rowPerEngine(); }

    void gridFetchAfterPartialCursorRead()
    {
        RUX_ENGINE_ROW(open);
        QVERIFY(makeBig(600));
        setSql(QStringLiteral("select i from big order by i"));
        m_q->Open();
        m_q->fetchMore(100);
        m_q->First();
        for (int k = 0; k < 300; ++k)
            m_q->Next();
        QCOMPARE(m_q->asString(1), QStringLiteral("301"));
        m_q->fetchMore(256);
        QCOMPARE(m_q->fetchedRowCount(), 356);
        for (int r = 0; r < 356; ++r)
            QCOMPARE(m_q->value(r, 0).toInt(), r + 1);
        QCOMPARE(m_q->asString(1), QStringLiteral("301"));
        m_q->Next();
        QCOMPARE(m_q->asString(1), QStringLiteral("302"));
    }

    // On the server a result jumps to its end and reads back from there,
    // window by window, with only those windows cached; the rows are those
    // of now. A statement that cannot be counted is read on to its end.
    void resultJumps()
    {
        QVERIFY(open(Engine::Postgres) || !rux::test::engineMissing(Engine::Postgres).isEmpty());
        RUX_NEED_ENGINE(Engine::Postgres);
        QVERIFY(makeBig(1000));
        setSql(QStringLiteral("select i from big order by i"));
        m_q->Open();
        m_q->fetchMore(256);
        m_q->releaseRead();
        QVERIFY(m_db->run({QStringLiteral("insert into big values (1001)")}));
        QVERIFY(m_q->canJump());
        m_q->jumpToLast(256);
        QCOMPARE(m_q->fetchedRowCount(), 256);
        QCOMPARE(m_q->value(0, 0).toInt(), 746);
        QCOMPARE(m_q->value(255, 0).toInt(), 1001);
        QVERIFY(m_q->canFetchBefore());
        QCOMPARE(m_q->fetchBefore(256), 256);
        QCOMPARE(m_q->fetchedRowCount(), 512);
        QCOMPARE(m_q->value(0, 0).toInt(), 490);
        QCOMPARE(m_q->value(511, 0).toInt(), 1001);
        m_q->jumpToFirst(256);
        QCOMPARE(m_q->value(0, 0).toInt(), 1);
        QVERIFY(!m_q->canFetchBefore());
        m_q->fetchMore(256);
        QCOMPARE(m_q->value(511, 0).toInt(), 512);

        setSql(QStringLiteral("show lock_timeout"));
        m_q->Open();
        m_q->jumpToLast(256);
        QCOMPARE(m_q->fetchedRowCount(), 1);
        QVERIFY(!m_q->canJump());
    }
};

QTEST_GUILESS_MAIN(TestAdoQuery)
#include "tst_adoquery.moc"
