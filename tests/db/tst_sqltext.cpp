#include "db/sqlite/sqltext.h"
#include "script/failure.h"

#include <QtTest>

using namespace rux;

namespace {

const QString kSecondStatement = QStringLiteral("Characters found after end of SQL statement.");
const QString kNoStatement =
    QStringLiteral("Invalid SQL statement: the command text holds no statement.");

} // namespace

class TestSqlText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rewritesParameterMarks_data();
    void rewritesParameterMarks();
    void keepsSingleStatement_data();
    void keepsSingleStatement();
    void refusesText_data();
    void refusesText();
};

void TestSqlText::rewritesParameterMarks_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("marks");

    QTest::newRow("no_mark") << "select 1" << "select 1" << 0;
    QTest::newRow("mark_at_end") << "select * from t where a = :id" << "select * from t where a = ?"
                                 << 1;
    QTest::newRow("name_ends_at_space") << "a = :id and b" << "a = ? and b" << 1;
    QTest::newRow("name_ends_at_cr") << "a = :id\r\nand" << "a = ?\r\nand" << 1;
    QTest::newRow("name_ends_at_lf") << "a = :id\nx" << "a = ?\nx" << 1;
    QTest::newRow("name_ends_at_parenthesis") << "f(:x)" << "f(?)" << 1;
    QTest::newRow("name_ends_at_comma") << "values(:a,:b)" << "values(?,?)" << 2;
    QTest::newRow("name_ends_at_semicolon") << "a=:x;" << "a=?;" << 1;
    QTest::newRow("tab_belongs_to_name") << "a=:x\tb c" << "a=? c" << 1;
    QTest::newRow("other_punctuation_belongs_to_name") << "a=:x+1 b" << "a=? b" << 1;
    QTest::newRow("empty_name_before_space") << "a = : b" << "a = ? b" << 1;
    QTest::newRow("colon_at_end") << "select :" << "select ?" << 1;
    QTest::newRow("double_quoted_name") << "a=:\"my name\" b" << "a=? b" << 1;
    QTest::newRow("single_quoted_name") << "a=:'x,y' b" << "a=? b" << 1;
    QTest::newRow("unterminated_quoted_name") << "a=:'x b" << "a=?" << 1;
    QTest::newRow("several_marks") << "insert into t values (:a, :b, :c)"
                                   << "insert into t values (?, ?, ?)" << 3;
    QTest::newRow("cast_kept") << "select a::int from t" << "select a::int from t" << 0;
    QTest::newRow("colons_after_mark_belong_to_name") << "select :v::text" << "select ?" << 1;
    QTest::newRow("triple_colon") << "a:::b" << "a::?" << 1;
    QTest::newRow("inside_single_quotes") << "select ':x' , :y" << "select ':x' , ?" << 1;
    QTest::newRow("inside_double_quotes") << "select \":x\" , :y" << "select \":x\" , ?" << 1;
    QTest::newRow("inside_backticks") << "select `:x` , :y" << "select `:x` , ?" << 1;
    QTest::newRow("doubled_quote_inside_literal") << "'it'':x' :y" << "'it'':x' ?" << 1;
    QTest::newRow("other_quote_inside_literal") << "'a\":x' :y" << "'a\":x' ?" << 1;
    QTest::newRow("unterminated_literal") << "x ':y" << "x ':y" << 0;
    QTest::newRow("colon_in_hash_date_is_a_mark") << "#12:30#" << "#12?" << 1;
}

void TestSqlText::rewritesParameterMarks()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QFETCH(int, marks);
    const MarkedText result = rewriteParameterMarks(sql);
    QCOMPARE(result.text, expected);
    QCOMPARE(result.marks, marks);
}

void TestSqlText::keepsSingleStatement_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "select 1" << "select 1";
    QTest::newRow("batch_line_breaks") << "select 1\r\n" << "select 1";
    QTest::newRow("trailing_semicolon") << "select 1;" << "select 1";
    QTest::newRow("blank_before_semicolon") << "select 1 ;" << "select 1";
    QTest::newRow("blanks_and_breaks_after") << "select 1;  \r\n\r\n\t" << "select 1";
    QTest::newRow("line_comment_after") << "select 1; -- done\r\n" << "select 1";
    QTest::newRow("block_comment_after") << "select 1 /* a; b */ ;" << "select 1";
    QTest::newRow("unterminated_block_comment_after") << "select 1; /* x; y" << "select 1";
    QTest::newRow("leading_comment_kept") << "-- head\r\nselect 1;" << "-- head\r\nselect 1";
    QTest::newRow("comment_inside_kept") << "select /* ; */ 1" << "select /* ; */ 1";
    QTest::newRow("semicolon_in_single_quotes") << "select 'a;b';" << "select 'a;b'";
    QTest::newRow("doubled_single_quote") << "select 'it''s;';" << "select 'it''s;'";
    QTest::newRow("semicolon_in_double_quotes") << "select \"a;b\" from t" << "select \"a;b\" from t";
    QTest::newRow("semicolon_in_backticks") << "select `a;b`;\n" << "select `a;b`";
    QTest::newRow("semicolon_in_brackets") << "select [a;b] from t;" << "select [a;b] from t";
    QTest::newRow("semicolon_in_line_comment") << "select 1 -- x; select 2\n+ 1;"
                                               << "select 1 -- x; select 2\n+ 1";
    QTest::newRow("line_comment_ends_at_cr") << "select 1 -- x;\r+ 1;" << "select 1 -- x;\r+ 1";
    QTest::newRow("semicolon_in_dollar_quotes") << "select $$a;b$$;" << "select $$a;b$$";
    QTest::newRow("semicolon_in_tagged_dollar_quotes")
        << "select $fn$ x; $$ y; $fn$;" << "select $fn$ x; $$ y; $fn$";
    QTest::newRow("positional_dollar_is_no_tag") << "select $1 + $2;" << "select $1 + $2";
    QTest::newRow("lone_dollar_is_no_tag") << "select 1 $ 2;" << "select 1 $ 2";
    QTest::newRow("dollar_in_identifier_is_no_tag") << "select a$b$ from t;"
                                                    << "select a$b$ from t";
    QTest::newRow("unterminated_literal_runs_to_end") << "select 'a; select 2"
                                                      << "select 'a; select 2";
    QTest::newRow("trigger_body") << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN "
                                     "UPDATE u SET n = n + 1; DELETE FROM v; END;"
                                  << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN "
                                     "UPDATE u SET n = n + 1; DELETE FROM v; END";
    QTest::newRow("trigger_without_final_semicolon")
        << "create trigger tr after insert on t begin select 1; end\r\n"
        << "create trigger tr after insert on t begin select 1; end";
    QTest::newRow("temp_trigger") << "CREATE TEMP TRIGGER tr BEFORE DELETE ON t BEGIN SELECT 1; END;"
                                  << "CREATE TEMP TRIGGER tr BEFORE DELETE ON t BEGIN SELECT 1; END";
    QTest::newRow("temporary_trigger")
        << "create temporary trigger tr before delete on t begin select 1; select 2; end;"
        << "create temporary trigger tr before delete on t begin select 1; select 2; end";
    QTest::newRow("case_end_inside_trigger")
        << "CREATE TRIGGER tr AFTER UPDATE ON t BEGIN UPDATE t SET a = CASE WHEN a > 0 "
           "THEN 1 ELSE 0 END; SELECT CASE a WHEN 1 THEN 2 END FROM t; END;"
        << "CREATE TRIGGER tr AFTER UPDATE ON t BEGIN UPDATE t SET a = CASE WHEN a > 0 "
           "THEN 1 ELSE 0 END; SELECT CASE a WHEN 1 THEN 2 END FROM t; END";
    QTest::newRow("trigger_body_comment_before_end")
        << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; /* c */ END; -- x"
        << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; /* c */ END";
    QTest::newRow("unfinished_trigger_sent_whole")
        << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; SELECT 2;"
        << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; SELECT 2;";
    QTest::newRow("create_table_is_no_trigger") << "CREATE TABLE trigger_log (a);"
                                                << "CREATE TABLE trigger_log (a)";
}

void TestSqlText::keepsSingleStatement()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(singleStatementText(sql), expected);
}

void TestSqlText::refusesText_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");

    QTest::newRow("two_statements") << "select 1; select 2" << kSecondStatement;
    QTest::newRow("two_statements_on_lines") << "delete from a;\r\ndelete from b;\r\n"
                                             << kSecondStatement;
    QTest::newRow("double_semicolon") << "select 1;;" << kSecondStatement;
    QTest::newRow("semicolons_apart") << "select 1; -- c\n ;" << kSecondStatement;
    QTest::newRow("statement_after_comment") << "select 1; /* c */ select 2" << kSecondStatement;
    QTest::newRow("statement_after_trigger")
        << "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; END; SELECT 2" << kSecondStatement;
    QTest::newRow("create_table_then_statement") << "create table t(a); insert into t values(1)"
                                                 << kSecondStatement;
    QTest::newRow("empty_first_statement") << "; select 1" << kSecondStatement;
    QTest::newRow("empty_text") << "" << kNoStatement;
    QTest::newRow("white_space_only") << " \r\n\t " << kNoStatement;
    QTest::newRow("comments_only") << "-- a\r\n/* b */ -- c" << kNoStatement;
    QTest::newRow("semicolons_only") << " ; ;" << kNoStatement;
}

void TestSqlText::refusesText()
{
    QFETCH(QString, sql);
    QFETCH(QString, message);
    try {
        const QString text = singleStatementText(sql);
        QFAIL(qPrintable(QStringLiteral("accepted as \"%1\"").arg(text)));
    } catch (const Failure &failure) {
        QCOMPARE(failure.text(), message);
    }
}

QTEST_GUILESS_MAIN(TestSqlText)
#include "tst_sqltext.moc"
