#include "exec/cmdline.h"

#include <QtTest>

namespace {

QString withNul(const char16_t *before, const char16_t *after)
{
    return QString::fromUtf16(before) + QChar(0) + QString::fromUtf16(after);
}

} // namespace

class TestCmdLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitCommandLine_data();
    void splitCommandLine();
    void examineArgument_data();
    void examineArgument();
    void conversionOption_data();
    void conversionOption();
};

void TestCmdLine::splitCommandLine_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("empty_text") << QString() << QStringList{};
    QTest::newRow("blanks_only") << QStringLiteral("  \t ") << QStringList{};
    QTest::newRow("program_only") << QStringLiteral("rux_ppp.exe") << QStringList{"rux_ppp.exe"};
    QTest::newRow("blanks_before_program") << QStringLiteral("   rux x") << QStringList{"rux", "x"};
    QTest::newRow("all_argument_kinds")
        << QStringLiteral("rux DB=a.mdb SQL=b.sql ERR_P=7 $p=1 GO")
        << QStringList{"rux", "DB=a.mdb", "SQL=b.sql", "ERR_P=7", "$p=1", "GO"};
    QTest::newRow("several_blanks_between") << QStringLiteral("rux   a    b  ") << QStringList{"rux", "a", "b"};
    QTest::newRow("quoted_value_only")
        << QStringLiteral("rux DB=\"C:\\my data\\a b.mdb\"") << QStringList{"rux", "DB=C:\\my data\\a b.mdb"};
    QTest::newRow("quoted_whole_argument")
        << QStringLiteral("rux \"DB=C:\\my data\\a b.mdb\"") << QStringList{"rux", "DB=C:\\my data\\a b.mdb"};
    QTest::newRow("quoted_program_path")
        << QStringLiteral("\"C:\\Program Files\\rux.exe\" GO") << QStringList{"C:\\Program Files\\rux.exe", "GO"};
    QTest::newRow("quotes_join_parts") << QStringLiteral("rux a\"b c\"d\" e\"") << QStringList{"rux", "ab cd e"};
    QTest::newRow("tab_inside_quotes_kept") << QStringLiteral("rux \"a\tb\"") << QStringList{"rux", "a\tb"};
    QTest::newRow("empty_pair_skipped") << QStringLiteral("rux \"\" x") << QStringList{"rux", "x"};
    QTest::newRow("empty_pairs_repeated") << QStringLiteral("rux \"\"\"\" \"\" x") << QStringList{"rux", "x"};
    QTest::newRow("empty_pair_at_end") << QStringLiteral("rux x \"\"") << QStringList{"rux", "x"};
    QTest::newRow("empty_pair_before_argument") << QStringLiteral("rux \"\"x") << QStringList{"rux", "x"};
    QTest::newRow("empty_pair_inside_argument") << QStringLiteral("rux a\"\"b") << QStringList{"rux", "ab"};
    QTest::newRow("empty_pair_then_quoted_run")
        << QStringLiteral("rux \"\"\"a b\"") << QStringList{"rux", "a b"};
    QTest::newRow("lone_quote_at_end_ends_list") << QStringLiteral("rux x \"") << QStringList{"rux", "x"};
    QTest::newRow("lone_quote_at_end_hides_nothing_after")
        << QStringLiteral("rux \" x") << QStringList{"rux", " x"};
    QTest::newRow("unclosed_quote_runs_to_end") << QStringLiteral("rux \"a b") << QStringList{"rux", "a b"};
    QTest::newRow("tabs_line_breaks_controls_separate")
        << (QStringLiteral("rux\tDB=x\r\nSQL=y") + QChar(0x01) + QStringLiteral("GO") + QChar(0x1F) + QChar(0x20))
        << QStringList{"rux", "DB=x", "SQL=y", "GO"};
    QTest::newRow("no_break_space_is_no_separator")
        << (QStringLiteral("rux a") + QChar(0x00A0) + QStringLiteral("b"))
        << QStringList{"rux", QStringLiteral("a") + QChar(0x00A0) + QStringLiteral("b")};
    QTest::newRow("backslashes_ordinary")
        << QStringLiteral("rux C:\\dir\\ \"x\\\"y \\\\n")
        << QStringList{"rux", "C:\\dir\\", "x\\y", "\\\\n"};
    QTest::newRow("nul_at_start") << withNul(u"", u"rux x") << QStringList{};
    QTest::newRow("nul_ends_argument_and_list") << withNul(u"rux a", u"b c") << QStringList{"rux", "a"};
    QTest::newRow("nul_after_blank_ends_list") << withNul(u"rux a ", u"b") << QStringList{"rux", "a"};
    QTest::newRow("nul_inside_quotes_kept")
        << withNul(u"rux \"a", u"b\" c") << QStringList{"rux", withNul(u"a", u"b"), "c"};
    QTest::newRow("non_ascii_kept") << QStringLiteral("rux DB=Übersicht.mdb") << QStringList{"rux", "DB=Übersicht.mdb"};
}

void TestCmdLine::splitCommandLine()
{
    QFETCH(QString, commandLine);
    QFETCH(QStringList, arguments);
    QCOMPARE(rux::splitCommandLine(commandLine), arguments);
}

void TestCmdLine::examineArgument_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("database");
    QTest::addColumn<QString>("dbFileName");
    QTest::addColumn<bool>("script");
    QTest::addColumn<QString>("sqlFileName");
    QTest::addColumn<bool>("runId");
    QTest::addColumn<QString>("runIdValue");
    QTest::addColumn<bool>("go");
    QTest::addColumn<bool>("parameter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    const QString none;
    auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };

    row("db_capitals") << "DB=a.mdb" << true << "a.mdb" << false << none << false << none << false << false << none << none;
    row("db_small_letters_value_as_typed")
        << "db=C:\\Data\\A.MDB" << true << "C:\\Data\\A.MDB" << false << none << false << none << false << false << none << none;
    row("db_mixed_case") << "dB=x" << true << "x" << false << none << false << none << false << false << none << none;
    row("db_empty_value") << "DB=" << true << "" << false << none << false << none << false << false << none << none;
    row("db_blank_before_equals") << "DB =x" << false << none << false << none << false << none << false << false << none << none;
    row("db_too_short") << "DB" << false << none << false << none << false << none << false << false << none << none;
    row("db_non_ascii_letter_not_folded")
        << QStringLiteral("ĐB=x") << false << none << false << none << false << none << false << false << none << none;
    row("db_fullwidth_letters_not_folded")
        << QStringLiteral("ＤＢ=x") << false << none << false << none << false << none << false << false << none << none;
    row("sql_mixed_case") << "Sql=run.sql" << false << none << true << "run.sql" << false << none << false << false << none << none;
    row("sql_empty_value") << "SQL=" << false << none << true << "" << false << none << false << false << none << none;
    row("sql_blank_before_equals") << "SQL =x" << false << none << false << none << false << none << false << false << none << none;
    row("sql_path_with_dollar_two_effects")
        << "SQL=/tmp/$x.sql" << false << none << true << "/tmp/$x.sql" << false << none << false << true << "SQL" << "/tmp/$x.sql";
    row("sql_small_letters_with_dollar_name_as_typed")
        << "sql=$a" << false << none << true << "$a" << false << none << false << true << "sql" << "$a";
    row("err_p_small_letters") << "err_p=42" << false << none << false << none << true << "42" << false << false << none << none;
    row("err_p_empty_value") << "ERR_P=" << false << none << false << none << true << "" << false << false << none << none;
    row("err_p_with_minus") << "ERR-P=1" << false << none << false << none << false << none << false << false << none << none;
    row("go_capitals") << "GO" << false << none << false << none << false << none << true << false << none << none;
    row("go_small_letters") << "go" << false << none << false << none << false << none << true << false << none << none;
    row("go_mixed_case") << "Go" << false << none << false << none << false << none << true << false << none << none;
    row("go_with_character_after") << "GOx" << false << none << false << none << false << none << false << false << none << none;
    row("go_with_character_before") << "xGO" << false << none << false << none << false << none << false << false << none << none;
    row("go_with_trailing_blank") << "GO " << false << none << false << none << false << none << false << false << none << none;
    row("go_with_zero") << "G0" << false << none << false << none << false << none << false << false << none << none;
    row("parameter_with_value") << "$p1=10" << false << none << false << none << false << none << false << true << "$p1" << "10";
    row("parameter_value_keeps_equals") << "$p1=a=b" << false << none << false << none << false << none << false << true << "$p1" << "a=b";
    row("parameter_without_equals") << "$p1" << false << none << false << none << false << none << false << true << "" << "$p1";
    row("parameter_empty_value") << "$p1=" << false << none << false << none << false << none << false << true << "$p1" << "";
    row("parameter_blanks_kept") << "$p 1 = x " << false << none << false << none << false << none << false << true << "$p 1 " << " x ";
    row("dollar_in_value_only") << "x=$y" << false << none << false << none << false << none << false << true << "x" << "$y";
    row("equals_first") << "=$y" << false << none << false << none << false << none << false << true << "" << "$y";
    row("db_with_dollar_two_effects")
        << "DB=$HOME/a.db" << true << "$HOME/a.db" << false << none << false << none << false << true << "DB" << "$HOME/a.db";
    row("dollar_go_is_no_go") << "$GO" << false << none << false << none << false << none << false << true << "" << "$GO";
    row("plain_word") << "hello" << false << none << false << none << false << none << false << false << none << none;
}

void TestCmdLine::examineArgument()
{
    QFETCH(QString, argument);
    QFETCH(bool, database);
    QFETCH(QString, dbFileName);
    QFETCH(bool, script);
    QFETCH(QString, sqlFileName);
    QFETCH(bool, runId);
    QFETCH(QString, runIdValue);
    QFETCH(bool, go);
    QFETCH(bool, parameter);
    QFETCH(QString, name);
    QFETCH(QString, value);

    const rux::ArgumentEffects effects = rux::examineArgument(argument);
    QCOMPARE(effects.database, database);
    QCOMPARE(effects.dbFileName, dbFileName);
    QCOMPARE(effects.script, script);
    QCOMPARE(effects.sqlFileName, sqlFileName);
    QCOMPARE(effects.runId, runId);
    QCOMPARE(effects.runIdValue, runIdValue);
    QCOMPARE(effects.go, go);
    QCOMPARE(effects.parameter, parameter);
    QCOMPARE(effects.name, name);
    QCOMPARE(effects.value, value);
}

// The conversion takes the two arguments after it as they stand, and runs
// alone.
void TestCmdLine::conversionOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("error"); // its start

    const QString alone = QStringLiteral("--convert-access runs alone");
    QTest::newRow("plain") << QStringList{"--convert-access", "a.mdb", "a.db"} << "a.mdb" << "a.db" << "";
    QTest::newRow("names_that_look_like_arguments")
        << QStringList{"--convert-access", "DB=x.mdb", "--log=y.db"} << "DB=x.mdb" << "--log=y.db" << "";
    QTest::newRow("no_target") << QStringList{"--convert-access", "a.mdb"} << "" << ""
                               << "--convert-access needs two file names";
    QTest::newRow("no_names") << QStringList{"--convert-access"} << "" << "" << "--convert-access needs two file names";
    QTest::newRow("with_go") << QStringList{"--convert-access", "a.mdb", "a.db", "GO"} << "a.mdb" << "a.db" << alone;
    QTest::newRow("after_db") << QStringList{"DB=x.db", "--convert-access", "a.mdb", "a.db"} << "a.mdb" << "a.db"
                              << alone;
    QTest::newRow("with_log") << QStringList{"--log=r.log", "--convert-access", "a.mdb", "a.db"} << "a.mdb" << "a.db"
                              << alone;
    QTest::newRow("twice") << QStringList{"--convert-access", "a.mdb", "a.db", "--convert-access", "b.mdb", "b.db"}
                           << "b.mdb" << "b.db" << "--convert-access is given twice";
}

void TestCmdLine::conversionOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, error);

    const rux::ProgramOptions options = rux::takeProgramOptions(arguments);
    QVERIFY(options.convertAccess);
    QCOMPARE(options.convertSource, source);
    QCOMPARE(options.convertTarget, target);
    QVERIFY2(error.isEmpty() ? options.error.isEmpty() : options.error.startsWith(error), qPrintable(options.error));
}

QTEST_GUILESS_MAIN(TestCmdLine)
#include "tst_cmdline.moc"
