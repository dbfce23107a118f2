#include "db/sqlite/sqltext.h"
#include "base/failure.h"

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
    QTest::newRow("inside_brackets") << "select [a:x] , :y" << "select [a:x] , ?" << 1;
    QTest::newRow("inside_line_comment") << "select 1 -- :x\n, :y" << "select 1 -- :x\n, ?" << 1;
    QTest::newRow("inside_block_comment") << "select /* :x */ :y" << "select /* :x */ ?" << 1;
    QTest::newRow("minus_not_a_comment") << "select 1 - :y" << "select 1 - ?" << 1;
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

QTEST_GUILESS_MAIN(TestSqlText)
#include "tst_sqltext.moc"
