#include "exec/failuretext.h"

#include <QtTest>

class TestFailureText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureDisplayText_data();
    void failureDisplayText();
    void programTitle_data();
    void programTitle();
};

void TestFailureText::failureDisplayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("ends_with_dot") << QStringLiteral("Fehler.") << QStringLiteral("Fehler.");
    QTest::newRow("dot_only") << QStringLiteral(".") << QStringLiteral(".");
    QTest::newRow("exclamation_mark") << QStringLiteral("Fehler!") << QStringLiteral("Fehler!");
    QTest::newRow("comma") << QStringLiteral("Fehler,") << QStringLiteral("Fehler,");
    QTest::newRow("closing_parenthesis") << QStringLiteral("Fehler (3)") << QStringLiteral("Fehler (3)");
    QTest::newRow("minus") << QStringLiteral("Fehler -") << QStringLiteral("Fehler -");
    QTest::newRow("plus") << QStringLiteral("a+") << QStringLiteral("a+");
    QTest::newRow("apostrophe") << QStringLiteral("Stil 'x'") << QStringLiteral("Stil 'x'");
    QTest::newRow("double_quote") << QStringLiteral("\"x\"") << QStringLiteral("\"x\"");
    QTest::newRow("trailing_blank") << QStringLiteral("Fehler ") << QStringLiteral("Fehler ");
    QTest::newRow("line_break") << QStringLiteral("Fehler\r\n") << QStringLiteral("Fehler\r\n");
    QTest::newRow("tab") << QStringLiteral("Fehler\t") << QStringLiteral("Fehler\t");
    QTest::newRow("letter") << QStringLiteral("Dateizugriff verweigert") << QStringLiteral("Dateizugriff verweigert.");
    QTest::newRow("percent_s_text")
        << QStringLiteral("Ungültiger Dateiname - %s") << QStringLiteral("Ungültiger Dateiname - %s.");
    QTest::newRow("digit") << QStringLiteral("E/A-Fehler 32") << QStringLiteral("E/A-Fehler 32.");
    QTest::newRow("question_mark") << QStringLiteral("Wirklich?") << QStringLiteral("Wirklich?.");
    QTest::newRow("colon") << QStringLiteral("Fehler:") << QStringLiteral("Fehler:.");
    QTest::newRow("slash") << QStringLiteral("a/") << QStringLiteral("a/.");
    QTest::newRow("non_ascii_letter") << QStringLiteral("Größe") << QStringLiteral("Größe.");
    QTest::newRow("single_letter") << QStringLiteral("a") << QStringLiteral("a.");
    QTest::newRow("empty_stays_empty") << QString() << QString();
}

void TestFailureText::failureDisplayText()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(rux::failureDisplayText(text), shown);
}

void TestFailureText::programTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");

    QTest::newRow("windows_name") << QStringLiteral("rux_ppp.exe") << QStringLiteral("rux_ppp");
    QTest::newRow("capitals_only_first_kept") << QStringLiteral("RUX_PPP.EXE") << QStringLiteral("Rux_ppp");
    QTest::newRow("linux_path") << QStringLiteral("/usr/bin/rux_ppp") << QStringLiteral("rux_ppp");
    QTest::newRow("linux_path_capitals") << QStringLiteral("/opt/Tools/RUX_PPP") << QStringLiteral("Rux_ppp");
    QTest::newRow("relative_path") << QStringLiteral("./build/rux_ppp") << QStringLiteral("rux_ppp");
    QTest::newRow("dot_in_folder_only") << QStringLiteral("/opt/x.y/RUX") << QStringLiteral("Rux");
    QTest::newRow("cut_before_first_dot") << QStringLiteral("a.b.c") << QStringLiteral("a");
    QTest::newRow("version_in_name") << QStringLiteral("Tool.V2.EXE") << QStringLiteral("Tool");
    QTest::newRow("no_dot") << QStringLiteral("ABC") << QStringLiteral("Abc");
    QTest::newRow("small_first_letter_stays") << QStringLiteral("rUX") << QStringLiteral("rux");
    QTest::newRow("non_ascii_capitals_lowered")
        << QStringLiteral("ÜBERSICHT_ÄÖ.EXE") << QStringLiteral("Übersicht_äö");
    QTest::newRow("single_character") << QStringLiteral("R.EXE") << QStringLiteral("R");
    QTest::newRow("leading_dot") << QStringLiteral("/usr/bin/.RUX") << QString();
    QTest::newRow("folder_only") << QStringLiteral("/usr/bin/") << QString();
    QTest::newRow("empty") << QString() << QString();
    // A backslash is an ordinary character of a file name here.
    QTest::newRow("backslash_is_part_of_name")
        << QStringLiteral("/opt/C:\\TOOLS\\RUX.EXE") << QStringLiteral("C:\\tools\\rux");
}

void TestFailureText::programTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(rux::programTitle(path), title);
}

QTEST_GUILESS_MAIN(TestFailureText)
#include "tst_failuretext.moc"
