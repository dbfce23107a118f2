#include "db/tablename.h"
#include "tests/support/failureof.h"

#include <QtTest>

using namespace rux;

namespace {

const char kFurtherLines[] =
    "edit_table: the table name \"%1\" is followed by further lines; put edit_table and its table "
    "name alone in a batch";

} // namespace

class TestTableName : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appliesBracketRule_data();
    void appliesBracketRule();
    void takesNameFromBatch_data();
    void takesNameFromBatch();
    void refusesBatch_data();
    void refusesBatch();
    void parsesTableName_data();
    void parsesTableName();
    void refusesTableName_data();
    void refusesTableName();
    void quotesIdentifier_data();
    void quotesIdentifier();
};

void TestTableName::appliesBracketRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no_blank") << "orders" << "orders";
    QTest::newRow("no_blank_with_schema") << "dbo.orders" << "dbo.orders";
    QTest::newRow("blank") << "my table" << "[my table]";
    QTest::newRow("leading_bracket_unchanged") << "[my table]" << "[my table]";
    QTest::newRow("leading_bracket_unbalanced_unchanged") << "[my table" << "[my table";
    QTest::newRow("schema_and_blank") << "dbo.my table" << "dbo.[my table]";
    QTest::newRow("only_first_dot_counts") << "a.b c.d" << "a.[b c.d]";
    QTest::newRow("blank_and_semicolon") << "my table;x" << "[my table];x";
    QTest::newRow("only_first_semicolon_counts") << "my table;x;y" << "[my table];x;y";
    QTest::newRow("dot_and_semicolon") << "dbo.my table;x" << "dbo.[my table];x";
    QTest::newRow("semicolon_before_dot") << "a;b.c d" << "a];b.[c d";
    QTest::newRow("tab_is_no_blank") << "my\ttable" << "my\ttable";
    QTest::newRow("trailing_blank") << "orders " << "[orders ]";
    QTest::newRow("empty") << "" << "";
}

void TestTableName::appliesBracketRule()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(applyBracketRule(name), expected);
}

void TestTableName::takesNameFromBatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("batch_line_end") << "orders\r\n" << "orders";
    QTest::newRow("plain") << "orders" << "orders";
    QTest::newRow("blanks_and_tabs_around") << " \t orders \t\r\n" << "orders";
    QTest::newRow("control_characters_around") << QStringLiteral("\x01orders\x1f") << "orders";
    QTest::newRow("inner_blank_kept") << "my table\r\n" << "my table";
    QTest::newRow("empty_lines_after") << "orders\r\n\r\n \r\n" << "orders";
    QTest::newRow("non_breaking_space_kept") << QStringLiteral("orders\u00a0") << QStringLiteral("orders\u00a0");
}

void TestTableName::takesNameFromBatch()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(tableNameFromBatch(text), expected);
}

void TestTableName::refusesBatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString noName = QStringLiteral("edit_table: no table name given");
    QTest::newRow("empty") << "" << noName;
    QTest::newRow("line_break_only") << "\r\n" << noName;
    QTest::newRow("blanks_only") << "   \t\r\n \r\n" << noName;
    QTest::newRow("further_line") << "orders\r\nselect * from orders\r\n"
                                  << QString::fromLatin1(kFurtherLines).arg("orders");
    QTest::newRow("further_line_after_blank_name") << "orders  \nx"
                                                   << QString::fromLatin1(kFurtherLines).arg("orders");
    QTest::newRow("bare_cr_inside") << "a\rb" << QString::fromLatin1(kFurtherLines).arg("a");
}

void TestTableName::refusesBatch()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(test::failureOf([&] { tableNameFromBatch(text); }), message);
}

void TestTableName::parsesTableName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("schema");
    QTest::addColumn<bool>("schemaIsNull");
    QTest::addColumn<QString>("table");

    QTest::newRow("bare") << "orders" << QString() << true << "orders";
    QTest::newRow("bare_with_blank") << "my table" << QString() << true << "my table";
    QTest::newRow("bracketed") << "[my table]" << QString() << true << "my table";
    QTest::newRow("bracketed_with_dot") << "[a.b]" << QString() << true << "a.b";
    QTest::newRow("double_quoted") << "\"my table\"" << QString() << true << "my table";
    QTest::newRow("double_quoted_with_doubled_quote") << "\"say \"\"hi\"\"\"" << QString() << true
                                                      << "say \"hi\"";
    QTest::newRow("double_quoted_with_dot") << "\"a.b\"" << QString() << true << "a.b";
    QTest::newRow("schema_bare") << "dbo.orders" << "dbo" << false << "orders";
    QTest::newRow("schema_and_bracketed") << "dbo.[my table]" << "dbo" << false << "my table";
    QTest::newRow("both_bracketed") << "[my schema].[my table]" << "my schema" << false
                                    << "my table";
    QTest::newRow("quoted_schema") << "\"s\".t" << "s" << false << "t";
    QTest::newRow("mixed_quoting") << "[s].\"t\"" << "s" << false << "t";
    QTest::newRow("non_ascii") << "Größe" << QString() << true << "Größe";
}

void TestTableName::parsesTableName()
{
    QFETCH(QString, name);
    QFETCH(QString, schema);
    QFETCH(bool, schemaIsNull);
    QFETCH(QString, table);
    const TableRef ref = parseTableName(name);
    QCOMPARE(ref.schema.isNull(), schemaIsNull);
    QCOMPARE(ref.schema, schema);
    QCOMPARE(ref.table, table);
}

void TestTableName::refusesTableName_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("empty") << "";
    QTest::newRow("empty_schema") << ".orders";
    QTest::newRow("empty_table") << "dbo.";
    QTest::newRow("empty_brackets") << "[]";
    QTest::newRow("empty_quotes") << "\"\"";
    QTest::newRow("text_after_bracket") << "[a]b";
    QTest::newRow("blank_after_bracket") << "[a] .b";
    QTest::newRow("text_after_quote") << "\"a\"b";
    QTest::newRow("unclosed_bracket") << "[my table";
    QTest::newRow("stray_closing_bracket") << "my]table";
    QTest::newRow("bracket_inside_bare") << "a[b]";
    QTest::newRow("quote_inside_bare") << "a\"b";
    QTest::newRow("unclosed_quote") << "\"abc";
    QTest::newRow("three_parts") << "db.dbo.orders";
    QTest::newRow("semicolon_after_bracket") << "[my table];x";
    QTest::newRow("semicolon_inside_brackets") << "[a;b]";
    QTest::newRow("semicolon_in_bare") << "orders;drop";
}

void TestTableName::refusesTableName()
{
    QFETCH(QString, name);
    QCOMPARE(test::failureOf([&] { parseTableName(name); }), QStringLiteral("Invalid table name: %1").arg(name));
}

void TestTableName::quotesIdentifier_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "orders" << "\"orders\"";
    QTest::newRow("blank") << "my table" << "\"my table\"";
    QTest::newRow("inner_quote") << "a\"b" << "\"a\"\"b\"";
    QTest::newRow("only_quotes") << "\"\"" << "\"\"\"\"\"\"";
    QTest::newRow("brackets_kept") << "[x]" << "\"[x]\"";
    QTest::newRow("empty") << "" << "\"\"";
}

void TestTableName::quotesIdentifier()
{
    QFETCH(QString, identifier);
    QFETCH(QString, expected);
    QCOMPARE(quoteIdentifier(identifier), expected);
}

QTEST_GUILESS_MAIN(TestTableName)
#include "tst_tablename.moc"
