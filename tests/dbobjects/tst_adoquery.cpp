// The query object: its SQL lines, Open and ExecSQL, the cursor operations,
// field texts through real results, the one-statement and no-parameter
// rules, and reading large results without keeping them.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/connectionstring.h"
#include "script/failure.h"
#include "tests/support/failureof.h"
#include "tests/support/otherconnection.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using rux::AdoConnection;
using rux::AdoQuery;
using rux::Failure;
using rux::test::failureOf;

namespace {


} // namespace

class TestAdoQuery : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<AdoConnection> m_con;
    std::unique_ptr<AdoQuery> m_q;

    void setSql(const QString &text)
    {
        m_q->sqlClear();
        m_q->sqlAdd(text);
    }
    QVariant count(const QString &table)
    {
        return rux::test::sqlValue(m_db, QStringLiteral("select count(*) from ") + table);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("q.db"));
        rux::test::runSql(m_db, {
            QStringLiteral("create table t(id integer primary key, v text)"),
            QStringLiteral("insert into t values(1, 'one'), (2, 'two')"),
            QStringLiteral("create table flags(a BOOLEAN, b BIT, c YESNO, d LOGICAL, e bit(1))"),
            QStringLiteral("insert into flags values(1, 0, 1, 0, 1), (0, 1, 0, 1, 0)"),
            QStringLiteral("create table empty(x)"),
            QStringLiteral("create table ins(x)"),
            QStringLiteral("create table big(i integer primary key)"),
            QStringLiteral("insert into big(i) with recursive c(n) as (select 1 union all "
                           "select n + 1 from c where n < 200000) select n from c"),
        });
    }

    void init()
    {
        m_con = std::make_unique<AdoConnection>(QStringLiteral("access_con"));
        m_con->setConnectionString(rux::buildConnectionString(m_db));
        m_q = std::make_unique<AdoQuery>(m_con.get(), QStringLiteral("Query1"));
    }

    void cleanup()
    {
        m_q.reset();
        m_con.reset();
    }

    void sqlTextEndsEveryLineWithCrLf()
    {
        QCOMPARE(m_q->sqlText(), QString());
        m_q->sqlAdd(QStringLiteral("select"));
        m_q->sqlAdd(QString());
        m_q->sqlAdd(QStringLiteral("  1 "));
        QCOMPARE(m_q->sqlText(), QStringLiteral("select\r\n\r\n  1 \r\n"));
        QCOMPARE(m_q->sqlCount(), 3);
        m_q->sqlClear();
        QCOMPARE(m_q->sqlText(), QString());
        QCOMPARE(m_q->sqlCount(), 0);
    }

    void changeClosesTheQuery_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::newRow("add_a_line") << false;
        QTest::newRow("clear_the_list") << true;
    }

    void changeClosesTheQuery()
    {
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

    void openWhenOpenDoesNothing()
    {
        m_q->sqlAdd(QStringLiteral("select id from t order by id"));
        m_q->Open();
        m_q->Next();
        m_q->Open();
        QCOMPARE(m_q->asString(1), QStringLiteral("2"));
    }

    void emptyTextFails()
    {
        QCOMPARE(failureOf([&]() { m_q->Open(); }), QStringLiteral("Query1: Eigenschaft SQL fehlt"));
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }), QStringLiteral("Query1: Eigenschaft SQL fehlt"));
    }

    void textWithoutStatementFails_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("one_blank_line") << QStringList({" "});
        QTest::newRow("empty_lines") << QStringList({"", ""});
        QTest::newRow("tabs_and_blanks") << QStringList({"\t ", "   "});
        QTest::newRow("only_a_comment") << QStringList({"-- nothing here"});
        QTest::newRow("only_a_semicolon") << QStringList({";"});
    }

    void textWithoutStatementFails()
    {
        QFETCH(QStringList, lines);
        for (const QString &line : lines)
            m_q->sqlAdd(line);
        const QString text = failureOf([&]() { m_q->Open(); });
        QVERIFY2(text != QStringLiteral("<no failure>"), qPrintable(text));
        QVERIFY(!m_q->active());
        QVERIFY(failureOf([&]() { m_q->ExecSQL(); }) != QStringLiteral("<no failure>"));
    }

    void addingTextOpensTheConnection()
    {
        QVERIFY(!m_con->connected());
        // An empty list cleared changes nothing and opens nothing.
        m_q->sqlClear();
        QVERIFY(!m_con->connected());
        m_q->sqlAdd(QStringLiteral("select 1"));
        QVERIFY(m_con->connected());
    }

    void openOfStatementWithoutRowsRunsThenFails()
    {
        setSql(QStringLiteral("create table made_by_open(x)"));
        QCOMPARE(failureOf([&]() { m_q->Open(); }),
                 QStringLiteral("Query1: CommandText gibt keine Ergebnismenge zurück"));
        QVERIFY(!m_q->active());
        QCOMPARE(rux::test::sqlValue(m_db, QStringLiteral("select count(*) from sqlite_master "
                                                            "where name = 'made_by_open'")).toInt(), 1);
    }

    void closedQueryRefusesCursorOperations_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("First") << QStringLiteral("First");
        QTest::newRow("Next") << QStringLiteral("Next");
        QTest::newRow("Eof") << QStringLiteral("Eof");
        QTest::newRow("fieldCount") << QStringLiteral("fieldCount");
        QTest::newRow("asString") << QStringLiteral("asString");
    }

    void closedQueryRefusesCursorOperations()
    {
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

    void cursorWalksTheRows()
    {
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
    }

    void eofAfterFirstOnNoRows()
    {
        setSql(QStringLiteral("select * from empty"));
        m_q->Open();
        m_q->First();
        QVERIFY(m_q->Eof());
        QCOMPARE(m_q->fieldCount(), 1);
        QCOMPARE(m_q->asString(1), QString());
    }

    void asStringOfResults_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("integers") << QStringLiteral("select 0, -7, 9223372036854775807")
                                  << QStringList({"0", "-7", "9223372036854775807"});
        QTest::newRow("reals") << QStringLiteral("select 0.1, 1.0/3, 1e20, 2.5, -0.5")
                               << QStringList({"0.1", "0.333333333333333", "1E20", "2.5", "-0.5"});
        QTest::newRow("null_is_empty") << QStringLiteral("select null, ''") << QStringList({"", ""});
        QTest::newRow("text") << QStringLiteral("select 'a b', 'Grüße', '  x  '")
                              << QStringList({"a b", "Grüße", "  x  "});
        QTest::newRow("yes_no_true_row") << QStringLiteral("select a, b, c, d, e from flags where a = 1")
                                         << QStringList({"Wahr", "Falsch", "Wahr", "Falsch", "Wahr"});
        QTest::newRow("yes_no_false_row") << QStringLiteral("select a, b, c, d, e from flags where a = 0")
                                          << QStringList({"Falsch", "Wahr", "Falsch", "Wahr", "Falsch"});
        QTest::newRow("expression_over_yes_no_is_a_number")
            << QStringLiteral("select a + 0 from flags where a = 1") << QStringList({"1"});
        QTest::newRow("colon_inside_literal") << QStringLiteral("select ':a', \":b\"")
                                              << QStringList({":a", ":b"});
    }

    void asStringOfResults()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, expected);
        setSql(sql);
        m_q->Open();
        QCOMPARE(m_q->fieldCount(), int(expected.size()));
        QStringList got;
        for (int f = 1; f <= m_q->fieldCount(); ++f)
            got << m_q->asString(f);
        QCOMPARE(got, expected);
    }

    void parameterMarksFail_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("colon_name") << QStringLiteral("select :a");
        QTest::newRow("question_mark") << QStringLiteral("select ?");
        QTest::newRow("dollar_name") << QStringLiteral("select $x");
        QTest::newRow("at_name") << QStringLiteral("select @x");
        QTest::newRow("numbered") << QStringLiteral("select ?1");
        QTest::newRow("in_insert") << QStringLiteral("insert into ins values(:v)");
    }

    void parameterMarksFail()
    {
        QFETCH(QString, sql);
        setSql(sql);
        QCOMPARE(failureOf([&]() { m_q->Open(); }),
                 QStringLiteral("No value given for one or more required parameters."));
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }),
                 QStringLiteral("No value given for one or more required parameters."));
        QCOMPARE(count(QStringLiteral("ins")).toInt(), 0);
    }

    void secondStatementFailsAndRunsNothing_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("two_inserts")
            << QStringLiteral("insert into ins values(1); insert into ins values(2)");
        QTest::newRow("two_inserts_on_lines")
            << QStringLiteral("insert into ins values(1);\r\ninsert into ins values(2);");
        QTest::newRow("insert_then_garbage") << QStringLiteral("insert into ins values(1); xyz");
    }

    void secondStatementFailsAndRunsNothing()
    {
        QFETCH(QString, sql);
        setSql(sql);
        QCOMPARE(failureOf([&]() { m_q->ExecSQL(); }),
                 QStringLiteral("Characters found after end of SQL statement."));
        QCOMPARE(count(QStringLiteral("ins")).toInt(), 0);
    }

    void trailingSemicolonAndBlanksAccepted_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("semicolon") << QStringLiteral("select 1;");
        QTest::newRow("semicolon_and_blank_lines") << QStringLiteral("select 1;\r\n  \r\n");
        QTest::newRow("trailing_comment") << QStringLiteral("select 1; -- done");
        QTest::newRow("empty_statements") << QStringLiteral("select 1;;");
    }

    void trailingSemicolonAndBlanksAccepted()
    {
        QFETCH(QString, sql);
        setSql(sql);
        m_q->Open();
        QCOMPARE(m_q->asString(1), QStringLiteral("1"));
    }

    void engineErrorCarriesEngineText()
    {
        setSql(QStringLiteral("select * from nope"));
        const QString text = failureOf([&]() { m_q->Open(); });
        QVERIFY2(text.contains(QStringLiteral("no such table: nope")), qPrintable(text));
        QVERIFY(!m_q->active());
        setSql(QStringLiteral("selec 1"));
        const QString syntax = failureOf([&]() { m_q->ExecSQL(); });
        QVERIFY2(syntax.contains(QStringLiteral("syntax error")), qPrintable(syntax));
    }

    void queryOpensClosedConnection()
    {
        QVERIFY(!m_con->connected());
        m_q->sqlAdd(QStringLiteral("select 5"));
        m_q->Open();
        QVERIFY(m_con->connected());
        QCOMPARE(m_q->asString(1), QStringLiteral("5"));
        // Closed behind the query's back, the next run opens it again.
        m_con->Close();
        QVERIFY(!m_q->active());
        m_q->Open();
        QVERIFY(m_con->connected());
        QCOMPARE(m_q->asString(1), QStringLiteral("5"));
    }

    void sqlAddOnMissingFileDefersTheFailure()
    {
        AdoConnection con(QStringLiteral("access_con"));
        const QString missing = m_dir.filePath(QStringLiteral("missing.db"));
        con.setConnectionString(rux::buildConnectionString(missing));
        AdoQuery q(&con, QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("select 1"));
        QVERIFY(!con.connected());
        const QString text = failureOf([&]() { q.Open(); });
        QVERIFY2(text.contains(missing), qPrintable(text));
        QVERIFY(!QFile::exists(missing));
    }

    void execSqlOfSelectLeavesQueryClosed()
    {
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

    void cursorReadingKeepsNoRows()
    {
        setSql(QStringLiteral("select i from big order by i"));
        m_q->Open();
        qint64 n = 0;
        bool inOrder = true;
        for (m_q->First(); !m_q->Eof(); m_q->Next()) {
            ++n;
            if (n % 997 == 0 && m_q->asString(1).toLongLong() != n)
                inOrder = false;
        }
        QCOMPARE(n, qint64(200000));
        QVERIFY(inOrder);
        QCOMPARE(m_q->fetchedRowCount(), 0);
    }

    void gridRowsAndCursorReadingInterleave()
    {
        setSql(QStringLiteral("select i from big where i <= 1000 order by i"));
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
        while (m_q->canFetchMore())
            m_q->fetchMore(256);
        QCOMPARE(m_q->fetchedRowCount(), 1000);
        QCOMPARE(m_q->value(999, 0).toInt(), 1000);
        // After the cursor sits mid-way, the grid still continues in order.
        m_q->First();
        m_q->Next();
        QCOMPARE(m_q->asString(1), QStringLiteral("2"));
    }

    void gridFetchAfterPartialCursorRead()
    {
        setSql(QStringLiteral("select i from big where i <= 600 order by i"));
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
};

QTEST_GUILESS_MAIN(TestAdoQuery)
#include "tst_adoquery.moc"
