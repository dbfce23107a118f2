#include "exec/batchtext.h"

#include <QtTest>

namespace {

QString blanks(int count)
{
    return QString(count, QChar(u' '));
}

} // namespace

class TestBatchText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void takeExportClause_data();
    void takeExportClause();
    void isDataChange_data();
    void isDataChange();
    void holdsEditTable_data();
    void holdsEditTable();
    void editTableText_data();
    void editTableText();
};

void TestBatchText::takeExportClause_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("sqlText");
    QTest::addColumn<QString>("fileName");

    // A query, a blank, the keyword, a blank, a file name, CR LF: the query,
    // one blank, one blank per character of the name, CR LF.
    QTest::newRow("one_line_batch")
        << QStringLiteral("select * from orders totxt out.txt\r\n") << true
        << (QStringLiteral("select * from orders ") + blanks(7) + QStringLiteral("\r\n"))
        << QStringLiteral("out.txt");
    QTest::newRow("keyword_in_capitals_name_case_kept")
        << QStringLiteral("SELECT a FROM t TOTXT Out.TXT\r\n") << true
        << QStringLiteral("SELECT a FROM t        \r\n") << QStringLiteral("Out.TXT");
    QTest::newRow("keyword_mixed_case")
        << QStringLiteral("select a from t ToTxt f\r\n") << true
        << QStringLiteral("select a from t  \r\n") << QStringLiteral("f");
    QTest::newRow("two_blanks_second_stays")
        << QStringLiteral("select 1 totxt  f.txt\r\n") << true
        << QStringLiteral("select 1       \r\n") << QStringLiteral("f.txt");
    QTest::newRow("name_ends_at_blank_rest_kept")
        << QStringLiteral("select a from t totxt f.txt order by a\r\n") << true
        << QStringLiteral("select a from t       order by a\r\n") << QStringLiteral("f.txt");
    QTest::newRow("name_ends_at_cr_next_line_kept")
        << QStringLiteral("select a totxt /tmp/f.txt\r\nfrom t\r\n") << true
        << (QStringLiteral("select a ") + blanks(10) + QStringLiteral("\r\nfrom t\r\n"))
        << QStringLiteral("/tmp/f.txt");
    QTest::newRow("tab_inside_name")
        << QStringLiteral("select 1 totxt a\tb.txt\r\n") << true
        << QStringLiteral("select 1        \r\n") << QStringLiteral("a\tb.txt");
    QTest::newRow("line_feed_inside_name")
        << QStringLiteral("select 1 totxt a\nb\r\n") << true
        << QStringLiteral("select 1    \r\n") << QStringLiteral("a\nb");
    QTest::newRow("tab_after_keyword_is_cut")
        << QStringLiteral("select 1 totxt\tf.txt\r\n") << true
        << QStringLiteral("select 1      \r\n") << QStringLiteral("f.txt");
    QTest::newRow("quotes_kept_in_name")
        << QStringLiteral("select 1 totxt \"f.txt\"\r\n") << true
        << QStringLiteral("select 1        \r\n") << QStringLiteral("\"f.txt\"");
    QTest::newRow("inside_longer_word")
        << QStringLiteral("select xtotxtfile from t\r\n") << true
        << QStringLiteral("select x    from t\r\n") << QStringLiteral("ile");
    QTest::newRow("second_totxt_kept")
        << QStringLiteral("select 1 totxt a.txt totxt b.txt\r\n") << true
        << QStringLiteral("select 1       totxt b.txt\r\n") << QStringLiteral("a.txt");
    QTest::newRow("first_character_taken_whatever_it_is")
        << QStringLiteral("select 1 totxt \r\nfrom t\r\n") << true
        << (QStringLiteral("select 1 ") + blanks(6) + QStringLiteral(" t\r\n")) << QStringLiteral("\r\nfrom");
    QTest::newRow("keyword_then_line_break")
        << QStringLiteral("select 1 totxt\r\n") << true
        << QStringLiteral("select 1  ") << QStringLiteral("\n");
    QTest::newRow("keyword_at_very_end")
        << QStringLiteral("select 1 totxt") << true
        << QStringLiteral("select 1 ") << QString();
    QTest::newRow("keyword_and_blank_at_very_end")
        << QStringLiteral("select 1 totxt ") << true
        << QStringLiteral("select 1 ") << QString();
    QTest::newRow("keyword_then_blanks_only")
        << QStringLiteral("select 1 totxt    ") << true
        << QStringLiteral("select 1    ") << QString();
    QTest::newRow("keyword_alone")
        << QStringLiteral("totxt") << true << QString() << QString();
    QTest::newRow("non_ascii_before_keeps_positions")
        << QStringLiteral("select 'ÄÖ' totxt ä.txt\r\n") << true
        << (QStringLiteral("select 'ÄÖ' ") + blanks(5) + QStringLiteral("\r\n")) << QStringLiteral("ä.txt");
    QTest::newRow("no_keyword")
        << QStringLiteral("select * from t\r\n") << false
        << QStringLiteral("select * from t\r\n") << QString();
    QTest::newRow("keyword_with_blank_inside_not_found")
        << QStringLiteral("select 1 to txt f\r\n") << false
        << QStringLiteral("select 1 to txt f\r\n") << QString();
    QTest::newRow("empty_batch") << QString() << false << QString() << QString();
}

void TestBatchText::takeExportClause()
{
    QFETCH(QString, batch);
    QFETCH(bool, found);
    QFETCH(QString, sqlText);
    QFETCH(QString, fileName);

    const rux::ExportClause clause = rux::takeExportClause(batch);
    QCOMPARE(clause.found, found);
    QCOMPARE(clause.sqlText, sqlText);
    QCOMPARE(clause.fileName, fileName);
}

void TestBatchText::isDataChange_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("dataChange");

    QTest::newRow("insert") << QStringLiteral("insert into t values (1)\r\n") << true;
    QTest::newRow("update") << QStringLiteral("update t set a = 1\r\n") << true;
    QTest::newRow("delete") << QStringLiteral("delete from t\r\n") << true;
    QTest::newRow("into") << QStringLiteral("select a into t2 from t\r\n") << true;
    QTest::newRow("drop") << QStringLiteral("drop table t\r\n") << true;
    QTest::newRow("edit_table") << QStringLiteral("edit_table t\r\n") << true;
    QTest::newRow("insert_capitals") << QStringLiteral("INSERT INTO t VALUES (1)\r\n") << true;
    QTest::newRow("update_mixed_case") << QStringLiteral("UpDaTe t SET a = 1\r\n") << true;
    QTest::newRow("drop_capitals") << QStringLiteral("DROP TABLE t\r\n") << true;
    QTest::newRow("edit_table_capitals") << QStringLiteral("EDIT_TABLE t\r\n") << true;
    QTest::newRow("update_in_column_name")
        << QStringLiteral("select updated_at from t\r\n") << true;
    QTest::newRow("delete_in_literal")
        << QStringLiteral("select 'please delete me' from t\r\n") << true;
    QTest::newRow("into_in_longer_word") << QStringLiteral("select pinto from t\r\n") << true;
    QTest::newRow("drop_in_table_name") << QStringLiteral("select * from backdrops\r\n") << true;
    QTest::newRow("keyword_on_second_line")
        << QStringLiteral("select a\r\nfrom inserts\r\n") << true;
    QTest::newRow("plain_select") << QStringLiteral("select a, b from t where a > 1\r\n") << false;
    QTest::newRow("create_table") << QStringLiteral("create table t (a int)\r\n") << false;
    QTest::newRow("keyword_split") << QStringLiteral("select 'in to' from t\r\n") << false;
    QTest::newRow("edit_without_underscore") << QStringLiteral("select edit table\r\n") << false;
    QTest::newRow("non_ascii_capital_not_folded")
        << QStringLiteral("select 'ÏNSERT ĐROP' from t\r\n") << false;
    QTest::newRow("empty_batch") << QString() << false;
}

void TestBatchText::isDataChange()
{
    QFETCH(QString, batch);
    QFETCH(bool, dataChange);
    QCOMPARE(rux::isDataChange(batch), dataChange);
}

void TestBatchText::holdsEditTable_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("holds");

    QTest::newRow("lower") << QStringLiteral("edit_table orders\r\n") << true;
    QTest::newRow("capitals") << QStringLiteral("EDIT_TABLE Orders\r\n") << true;
    QTest::newRow("inside_longer_word") << QStringLiteral("select my_edit_tables\r\n") << true;
    QTest::newRow("blank_for_underscore") << QStringLiteral("edit table orders\r\n") << false;
    QTest::newRow("editable") << QStringLiteral("select editable from t\r\n") << false;
    QTest::newRow("data_change_without_it") << QStringLiteral("delete from t\r\n") << false;
}

void TestBatchText::holdsEditTable()
{
    QFETCH(QString, batch);
    QFETCH(bool, holds);
    QCOMPARE(rux::holdsEditTable(batch), holds);
}

void TestBatchText::editTableText_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("tableText");

    QTest::newRow("one_line") << QStringLiteral("edit_table orders\r\n") << QStringLiteral("orders\r\n");
    QTest::newRow("capitals_name_case_kept")
        << QStringLiteral("EDIT_TABLE Orders\r\n") << QStringLiteral("Orders\r\n");
    QTest::newRow("two_blanks_second_kept")
        << QStringLiteral("edit_table  orders\r\n") << QStringLiteral(" orders\r\n");
    QTest::newRow("tab_after_keyword")
        << QStringLiteral("edit_table\torders\r\n") << QStringLiteral("orders\r\n");
    QTest::newRow("lines_before_and_after")
        << QStringLiteral("-- edit\r\nedit_table t1\r\nmore text\r\n")
        << QStringLiteral("t1\r\nmore text\r\n");
    QTest::newRow("first_occurrence_counts")
        << QStringLiteral("edit_table a edit_table b\r\n") << QStringLiteral("a edit_table b\r\n");
    QTest::newRow("name_of_one_character") << QStringLiteral("edit_table x") << QStringLiteral("x");
    QTest::newRow("keyword_at_end") << QStringLiteral("edit_table") << QString();
    QTest::newRow("keyword_and_blank_at_end") << QStringLiteral("edit_table ") << QString();
    QTest::newRow("no_keyword") << QStringLiteral("select 1\r\n") << QString();
    QTest::newRow("empty_batch") << QString() << QString();
}

void TestBatchText::editTableText()
{
    QFETCH(QString, batch);
    QFETCH(QString, tableText);
    QCOMPARE(rux::editTableText(batch), tableText);
}

QTEST_GUILESS_MAIN(TestBatchText)
#include "tst_batchtext.moc"
