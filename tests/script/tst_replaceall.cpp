#include "script/replaceall.h"

#include <QTest>

using rux::replaceAllIgnoreCase;

class TestReplaceAll : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replaces_data();
    void replaces();
    void unmatchedTextIsSharedNotCopied_data();
    void unmatchedTextIsSharedNotCopied();
};

void TestReplaceAll::replaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("same_case") << "where y = $year" << "$year" << "2024" << "where y = 2024";
    QTest::newRow("pattern_in_capitals") << "where y = $year" << "$YEAR" << "2024" << "where y = 2024";
    QTest::newRow("text_in_mixed_case") << "a $YeAr b $year" << "$year" << "1" << "a 1 b 1";
    QTest::newRow("every_occurrence") << "$a,$a,$a" << "$a" << "x" << "x,x,x";
    QTest::newRow("no_match") << "select 1" << "$a" << "x" << "select 1";
    QTest::newRow("empty_pattern") << "select $a" << "" << "x" << "select $a";
    QTest::newRow("empty_text") << "" << "$a" << "x" << "";
    QTest::newRow("pattern_longer_than_text") << "$a" << "$abc" << "x" << "$a";
    QTest::newRow("empty_replacement_removes") << "v=$a;" << "$a" << "" << "v=;";
    QTest::newRow("whole_text_to_empty") << "%rid%" << "%RID%" << "" << "";
    QTest::newRow("matches_do_not_overlap") << "aaa" << "aa" << "X" << "Xa";
    QTest::newRow("inserted_text_not_searched_again") << "aa" << "a" << "aa" << "aaaa";
    QTest::newRow("value_holding_its_own_name") << "$a $a" << "$a" << "[$a]" << "[$a] [$a]";
    QTest::newRow("prefix_of_longer_name") << "$ab and $a" << "$a" << "1" << "1b and 1";
    QTest::newRow("match_at_end") << "x = $a" << "$a" << "1" << "x = 1";
    QTest::newRow("partial_match_at_end") << "x = $" << "$a" << "1" << "x = $";
    QTest::newRow("umlauts_fold") << "$GRÖSSE $größe" << "$Größe" << "9" << "$GRÖSSE 9";
    QTest::newRow("sharp_s_stays_one_unit") << "straße STRASSE" << "STRAßE" << "x" << "x STRASSE";
    QTest::newRow("sharp_s_is_not_capital_sharp_s") << QString::fromUtf8("ß ẞ") << QString::fromUtf8("ẞ")
                                                     << "x" << QString::fromUtf8("ß x");
    QTest::newRow("ligature_keeps_its_place") << QString::fromUtf8("ﬁle $ﬁ") << "FI" << "x"
                                               << QString::fromUtf8("ﬁle $ﬁ");
    QTest::newRow("position_after_ligature") << QString::fromUtf8("ﬁ $a ﬁ") << "$A" << "1"
                                              << QString::fromUtf8("ﬁ 1 ﬁ");
    QTest::newRow("n_with_apostrophe_stays") << QString::fromUtf8("ŉ $n") << "$N" << "v"
                                              << QString::fromUtf8("ŉ v");
    QTest::newRow("greek_final_sigma") << QString::fromUtf8("$οδος $οδοσ") << QString::fromUtf8("$ΟΔΟΣ")
                                       << "x" << "x x";
    QTest::newRow("dotless_i_folds_with_i") << QString::fromUtf8("$ıd $id") << "$ID" << "1" << "1 1";
    QTest::newRow("titlecase_digraph") << QString::fromUtf8("ǅ ǆ Ǆ") << QString::fromUtf8("ǆ")
                                       << "d" << "d d d";
    QTest::newRow("y_diaeresis_outside_latin1") << QString::fromUtf8("$ÿ") << QString::fromUtf8("$Ÿ")
                                                << "y" << "y";
    QTest::newRow("non_bmp_character_matched") << QString::fromUtf8("x😀y😀") << QString::fromUtf8("😀")
                                               << ":)" << "x:)y:)";
    QTest::newRow("position_after_non_bmp") << QString::fromUtf8("😀$a") << "$A" << "1"
                                            << QString::fromUtf8("😀1");
    QTest::newRow("non_bmp_letters_keep_their_case") << QString::fromUtf8("𐐨 𐐀") << QString::fromUtf8("𐐀")
                                                     << "D" << QString::fromUtf8("𐐨 D");
    QTest::newRow("replacement_holds_non_bmp") << "$a" << "$a" << QString::fromUtf8("😀") << QString::fromUtf8("😀");
}

void TestReplaceAll::replaces()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);

    QCOMPARE(replaceAllIgnoreCase(text, pattern, replacement), expected);
}

void TestReplaceAll::unmatchedTextIsSharedNotCopied_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("no_match") << "select * from t where a = $x" << "$y";
    QTest::newRow("empty_pattern") << "select $a" << "";
    QTest::newRow("text_shorter_than_pattern") << "$a" << "$a1";
}

void TestReplaceAll::unmatchedTextIsSharedNotCopied()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);

    const QString result = replaceAllIgnoreCase(text, pattern, QStringLiteral("v"));
    QCOMPARE(result, text);
    QCOMPARE(result.constData(), text.constData());
}

QTEST_GUILESS_MAIN(TestReplaceAll)
#include "tst_replaceall.moc"
