#include "exec/linesort.h"

#include <QtTest>

using rux::LineKind;

Q_DECLARE_METATYPE(rux::LineKind)

class TestLineSort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sortLine_data();
    void sortLine();
    void protectsBatch_data();
    void protectsBatch();
};

void TestLineSort::sortLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<LineKind>("kind");

    QTest::newRow("go_alone") << QStringLiteral("go") << LineKind::BatchEnd;
    QTest::newRow("go_blanks_around") << QStringLiteral("   go  ") << LineKind::BatchEnd;
    QTest::newRow("go_tabs_around") << QStringLiteral("\tgo\t\t") << LineKind::BatchEnd;
    QTest::newRow("go_nul_and_controls_around")
        << (QString(QChar(0)) + QChar(0x01) + QStringLiteral("go") + QChar(0x1F) + QChar(0))
        << LineKind::BatchEnd;
    QTest::newRow("go_stray_cr_after") << QStringLiteral("go\r") << LineKind::BatchEnd;
    QTest::newRow("go_capitals") << QStringLiteral("GO") << LineKind::Statement;
    QTest::newRow("go_capital_g") << QStringLiteral("Go") << LineKind::Statement;
    QTest::newRow("go_capital_o") << QStringLiteral("gO") << LineKind::Statement;
    QTest::newRow("go_semicolon") << QStringLiteral("go;") << LineKind::Statement;
    QTest::newRow("go_blank_inside") << QStringLiteral("g o") << LineKind::Statement;
    QTest::newRow("go_twice") << QStringLiteral("gogo") << LineKind::Statement;
    QTest::newRow("go_no_break_space_before")
        << (QString(QChar(0x00A0)) + QStringLiteral("go")) << LineKind::Statement;
    QTest::newRow("go_with_remark") << QStringLiteral("go # remark") << LineKind::Dropped;
    QTest::newRow("hash_first") << QStringLiteral("#select 1") << LineKind::Dropped;
    QTest::newRow("hash_inside_literal")
        << QStringLiteral("select * from t where a = 'x#y'") << LineKind::Dropped;
    QTest::newRow("hash_date_literal")
        << QStringLiteral("select * from t where d > #2020-01-31#") << LineKind::Dropped;
    QTest::newRow("hash_in_comment_line") << QStringLiteral("' remark #1") << LineKind::Dropped;
    QTest::newRow("hash_alone") << QStringLiteral("#") << LineKind::Dropped;
    QTest::newRow("empty") << QString() << LineKind::Empty;
    QTest::newRow("apostrophe_first") << QStringLiteral("' a remark") << LineKind::Comment;
    QTest::newRow("apostrophe_only") << QStringLiteral("'") << LineKind::Comment;
    QTest::newRow("apostrophe_then_go") << QStringLiteral("'go") << LineKind::Comment;
    QTest::newRow("blank_then_apostrophe") << QStringLiteral(" ' a remark") << LineKind::Statement;
    QTest::newRow("tab_then_apostrophe") << QStringLiteral("\t'x") << LineKind::Statement;
    QTest::newRow("blanks_only") << QStringLiteral("    ") << LineKind::Statement;
    QTest::newRow("tab_only") << QStringLiteral("\t") << LineKind::Statement;
    QTest::newRow("nul_only") << QString(QChar(0)) << LineKind::Statement;
    QTest::newRow("statement") << QStringLiteral("select * from t") << LineKind::Statement;
    QTest::newRow("statement_starting_with_go") << QStringLiteral("go to") << LineKind::Statement;
}

void TestLineSort::sortLine()
{
    QFETCH(QString, line);
    QFETCH(LineKind, kind);
    QCOMPARE(rux::sortLine(line), kind);
}

void TestLineSort::protectsBatch_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("protects");

    QTest::newRow("drop_lower") << QStringLiteral("drop table t") << true;
    QTest::newRow("drop_after_blanks") << QStringLiteral("   drop table t") << true;
    QTest::newRow("drop_upper") << QStringLiteral("DROP TABLE t") << false;
    QTest::newRow("drop_capital_d") << QStringLiteral("Drop table t") << false;
    QTest::newRow("drop_in_longer_name") << QStringLiteral("select * from backdrops") << true;
    QTest::newRow("drop_in_literal") << QStringLiteral("select 'dropped' from t") << true;
    QTest::newRow("drop_split") << QStringLiteral("dr op table t") << false;
    QTest::newRow("no_drop") << QStringLiteral("delete from t") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestLineSort::protectsBatch()
{
    QFETCH(QString, line);
    QFETCH(bool, protects);
    QCOMPARE(rux::protectsBatch(line), protects);
}

QTEST_GUILESS_MAIN(TestLineSort)
#include "tst_linesort.moc"
