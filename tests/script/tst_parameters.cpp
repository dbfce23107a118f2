#include "script/discovery.h"
#include "script/memorycells.h"
#include "script/paramcells.h"
#include "script/scriptlines.h"
#include "script/substitution.h"
#include "tests/support/failureof.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace rux;

namespace {

// Grid cells in memory, with the names of rows 1 to 10 set and read as a
// list.
class MapCells : public MemoryCells
{
public:
    void setNames(const QStringList &names)
    {
        for (int i = 0; i < names.size(); ++i)
            setCell(0, i + 1, names[i]);
    }
    // Rows 1 on: each name with its value.
    void setRows(const QStringList &names, const QStringList &values)
    {
        setNames(names);
        for (int i = 0; i < values.size(); ++i)
            setCell(1, i + 1, values[i]);
    }
    // Name cells of rows 1 to 10.
    QStringList names() const
    {
        QStringList out;
        for (int r = 1; r <= kMaxParamRows; ++r)
            out << cell(0, r);
        return out;
    }
};

// Editor lines in a list of the text's CR LF-separated parts; an empty last
// part (after a final break, or of an empty text) is not a line.
class ListLines : public ScriptLines
{
public:
    explicit ListLines(const QString &text = QString()) { setText(text); }

    int lineCount() const override
    {
        return int(m_parts.size()) - (m_parts.last().isEmpty() ? 1 : 0);
    }
    QString line(int index) const override
    {
        return index >= 0 && index < lineCount() ? m_parts[index] : QString();
    }
    void setLine(int index, const QString &text) override
    {
        if (index < 0 || index >= lineCount())
            return;
        m_parts[index] = text;
        ++m_lineWrites;
    }
    QString text() const override { return m_parts.join(QStringLiteral("\r\n")); }
    void setText(const QString &text) override
    {
        if (m_capacity >= 0 && text.size() > m_capacity)
            throw Failure(QStringLiteral("editor full"));
        m_parts = text.split(QStringLiteral("\r\n"));
        ++m_textWrites;
    }

    QStringList m_parts;
    qsizetype m_capacity = -1;
    int m_lineWrites = 0;
    int m_textWrites = 0;
};

QStringList padded(QStringList names)
{
    while (names.size() < kMaxParamRows)
        names << QString();
    return names;
}

} // namespace

class TestParameters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void nameRule_data();
    void nameRule();
    void countNamedRows_data();
    void countNamedRows();

    void discovery_data();
    void discovery();
    void loadKeepsEncodingAndReplacesText();
    void loadFailureLeavesEverything_data();
    void loadFailureLeavesEverything();
    void capacityFailureSetsOnlyEncoding_data();
    void capacityFailureSetsOnlyEncoding();
    void editorRefusalLeavesGrid();

    void substitution_data();
    void substitution();
    void substitutionProcessesEventsOncePerRow_data();
    void substitutionProcessesEventsOncePerRow();
    void nestedHandlerBetweenRows_data();
    void nestedHandlerBetweenRows();
    void parameterMarks_data();
    void parameterMarks();
    void substitutionRefusesEleventhRow();
    void substitutionWritesOnlyChangedLines();
    void clearEmptiesRowsOneToSix();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
};

void TestParameters::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestParameters::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
    return path;
}

// --- name rule --------------------------------------------------------------

void TestParameters::nameRule_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("two_names") << "where y = $year and m = $month" << QStringList{"$year", "$month"};
    QTest::newRow("quote_belongs_to_name") << "where x = '$code'" << QStringList{"$code'"};
    QTest::newRow("comma_and_bracket_belong_to_name") << "values ($a1,$a2)" << QStringList{"$a1,$a2)", "$a2)"};
    QTest::newRow("blank_at_p_plus_2_stays_inside") << "where x = $a and z = 1" << QStringList{"$a and"};
    QTest::newRow("name_at_line_end") << "where x = $a" << QStringList{"$a"};
    QTest::newRow("dollar_alone_at_end") << "cost in $" << QStringList{"$"};
    QTest::newRow("dollar_next_to_last") << "cost in $x" << QStringList{"$x"};
    QTest::newRow("dollar_then_blank_at_end") << "cost $ " << QStringList{"$ "};
    QTest::newRow("blank_right_after_dollar") << "a $ b c" << QStringList{"$ b"};
    QTest::newRow("blank_at_p_plus_3_ends") << "$ab c" << QStringList{"$ab"};
    QTest::newRow("tab_does_not_end") << "$a\tb c" << QStringList{"$a\tb"};
    QTest::newRow("semicolon_does_not_end") << "set x=$v; go" << QStringList{"$v;"};
    QTest::newRow("dollar_inside_name_starts_another") << "$a$b c" << QStringList{"$a$b", "$b c"};
    QTest::newRow("double_dollar") << "$$" << QStringList{"$$", "$"};
    QTest::newRow("second_blank_ends_short_name") << "$x  y" << QStringList{"$x "};
    QTest::newRow("one_letter_names_run_on") << "$a $b $cc d" << QStringList{"$a $b", "$b $cc", "$cc"};
    QTest::newRow("no_dollar") << "select 1" << QStringList{};
}

void TestParameters::nameRule()
{
    QFETCH(QString, line);
    QFETCH(QStringList, names);

    QStringList found;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == u'$')
            found << takeParameterName(line, i + 1);
    }
    QCOMPARE(found, names);
}

void TestParameters::countNamedRows_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("count");

    QTest::newRow("empty_grid") << QStringList{} << 0;
    QTest::newRow("two_rows") << QStringList{"$a", "$b"} << 2;
    QTest::newRow("single_blank_counts") << QStringList{" "} << 1;
    QTest::newRow("gap_is_not_counted") << QStringList{"", "$b", "", "$d"} << 2;
    QTest::newRow("row_six_counts") << QStringList{"$1", "$2", "$3", "$4", "$5", "$6"} << 6;
    QTest::newRow("rows_seven_to_ten_not_counted")
        << QStringList{"$1", "$2", "$3", "$4", "$5", "$6", "$7", "$8"} << 6;
}

void TestParameters::countNamedRows()
{
    QFETCH(QStringList, names);
    QFETCH(int, count);

    MapCells grid;
    grid.setNames(names);
    QCOMPARE(rux::countNamedRows(grid), count);
}

// --- loading and discovery --------------------------------------------------

void TestParameters::discovery_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("runId");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("count");

    const QString rid = QStringLiteral("-999");

    QTest::newRow("names_in_order_found")
        << QByteArray("select * from t\r\nwhere y = $year and m = $month\r\n") << rid << QStringList{}
        << "select * from t\r\nwhere y = $year and m = $month\r\n" << QStringList{"$year", "$month"} << 2;
    QTest::newRow("name_used_twice_gets_one_row")
        << QByteArray("$aa = 1\r\nand $bb = $aa\r\n") << rid << QStringList{} << "$aa = 1\r\nand $bb = $aa\r\n"
        << QStringList{"$aa", "$bb"} << 2;
    QTest::newRow("case_distinct_names_get_two_rows")
        << QByteArray("$Year and $year") << rid << QStringList{} << "$Year and $year"
        << QStringList{"$Year", "$year"} << 2;
    QTest::newRow("dollar_inside_name")
        << QByteArray("values ($a1,$a2)") << rid << QStringList{} << "values ($a1,$a2)"
        << QStringList{"$a1,$a2)", "$a2)"} << 2;
    QTest::newRow("comment_line_has_no_names")
        << QByteArray("#where $x\r\nwhere $y") << rid << QStringList{} << "#where $x\r\nwhere $y"
        << QStringList{"$y"} << 1;
    QTest::newRow("blank_before_hash_is_scanned")
        << QByteArray(" #where $x") << rid << QStringList{} << " #where $x" << QStringList{"$x"} << 1;
    QTest::newRow("known_name_gets_no_row")
        << QByteArray("$month $year") << rid << QStringList{"$year"} << "$month $year"
        << QStringList{"$year", "$month"} << 2;
    QTest::newRow("other_names_stay")
        << QByteArray("$c") << rid << QStringList{"$a", "$b"} << "$c" << QStringList{"$a", "$b", "$c"} << 3;
    QTest::newRow("gap_in_grid_overwrites_row_two")
        << QByteArray("$new") << rid << QStringList{"", "$old"} << "$new" << QStringList{"", "$new"} << 2;
    QTest::newRow("overwritten_name_is_no_longer_known")
        << QByteArray("$new $old") << rid << QStringList{"", "$old"} << "$new $old"
        << QStringList{"", "$new", "$old"} << 3;
    QTest::newRow("blank_name_cell_counts")
        << QByteArray("$a") << rid << QStringList{" "} << "$a" << QStringList{" ", "$a"} << 2;
    QTest::newRow("sixth_name_in_row_six")
        << QByteArray("$n1 $n2 $n3 $n4 $n5 $n6 $n6") << rid << QStringList{} << "$n1 $n2 $n3 $n4 $n5 $n6 $n6"
        << QStringList{"$n1", "$n2", "$n3", "$n4", "$n5", "$n6"} << 6;
    QTest::newRow("rows_seven_on_are_appended_again")
        << QByteArray("$n1 $n2 $n3 $n4 $n5 $n6 $n7\r\n$n7 $n7") << rid << QStringList{}
        << "$n1 $n2 $n3 $n4 $n5 $n6 $n7\r\n$n7 $n7" << QStringList{"$n1", "$n2", "$n3", "$n4", "$n5", "$n6", "$n7", "$n7", "$n7"}
        << 9;
    QTest::newRow("tenth_row_is_accepted")
        << QByteArray("$n7 $n8 $n9 $n10") << rid << QStringList{"$n1", "$n2", "$n3", "$n4", "$n5", "$n6"}
        << "$n7 $n8 $n9 $n10" << QStringList{"$n1", "$n2", "$n3", "$n4", "$n5", "$n6", "$n7", "$n8", "$n9", "$n10"} << 10;
    QTest::newRow("rid_lower_case_replaced")
        << QByteArray("where r = %rid%\r\n") << rid << QStringList{} << "where r = -999\r\n" << QStringList{} << 0;
    QTest::newRow("rid_only_capitals_unchanged")
        << QByteArray("where r = %RID%") << rid << QStringList{} << "where r = %RID%" << QStringList{} << 0;
    QTest::newRow("rid_mixed_case_replaced_with_lower")
        << QByteArray("%rid% %RID% %Rid%") << rid << QStringList{} << "-999 -999 -999" << QStringList{} << 0;
    QTest::newRow("rid_only_mixed_case_unchanged")
        << QByteArray("%Rid%") << rid << QStringList{} << "%Rid%" << QStringList{} << 0;
    QTest::newRow("rid_in_comment_line_kept")
        << QByteArray("#%rid% $x\r\n%rid%") << rid << QStringList{} << "#%rid% $x\r\n-999" << QStringList{} << 0;
    QTest::newRow("rid_per_line")
        << QByteArray("%rid%\r\n%RID%\r\n%rid% %RID%\r\n") << QStringLiteral("7") << QStringList{}
        << "7\r\n%RID%\r\n7 7\r\n" << QStringList{} << 0;
    QTest::newRow("run_id_dollar_scanned_after_replacement")
        << QByteArray("where r = %rid%") << QStringLiteral("$run") << QStringList{} << "where r = $run"
        << QStringList{"$run"} << 1;
    QTest::newRow("run_id_dollar_not_in_capital_token_line")
        << QByteArray("where r = %RID%") << QStringLiteral("$run") << QStringList{} << "where r = %RID%"
        << QStringList{} << 0;
    QTest::newRow("run_id_with_blank_ends_name")
        << QByteArray("x = %rid%$y") << QStringLiteral("a b") << QStringList{} << "x = a b$y"
        << QStringList{"$y"} << 1;
    QTest::newRow("run_id_line_break_makes_lines")
        << QByteArray("a %rid% $z\r\nb") << QStringLiteral("$p\nq") << QStringList{} << "a $p\r\nq $z\r\nb"
        << QStringList{"$p", "$z"} << 2;
    QTest::newRow("empty_file")
        << QByteArray() << rid << QStringList{"$a", "", "$c"} << "" << QStringList{"$a", "", "$c"} << 2;
    QTest::newRow("lone_lf_breaks")
        << QByteArray("a $x\nb\n") << rid << QStringList{} << "a $x\r\nb\r\n" << QStringList{"$x"} << 1;
    QTest::newRow("empty_lines_kept")
        << QByteArray("\r\n\r\n$x\r\n\r\n") << rid << QStringList{} << "\r\n\r\n$x\r\n\r\n"
        << QStringList{"$x"} << 1;
    QTest::newRow("long_line_is_one_line")
        << QByteArray("#" + QByteArray(5000, 'x') + " $a") << rid << QStringList{}
        << "#" + QString(5000, u'x') + " $a" << QStringList{} << 0;
}

void TestParameters::discovery()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, runId);
    QFETCH(QStringList, before);
    QFETCH(QString, text);
    QFETCH(QStringList, after);
    QFETCH(int, count);

    const QString path = writeFile(QStringLiteral("discovery.sql"), file);
    ListLines editor(QStringLiteral("old text"));
    MapCells grid;
    grid.setNames(before);
    grid.setCell(1, 1, QStringLiteral("value one"));
    TextEncoding remembered = TextEncoding::None;

    QCOMPARE(loadScript(path, runId, editor, grid, remembered), count);
    QCOMPARE(editor.text(), text);
    QCOMPARE(grid.names(), padded(after));
    QCOMPARE(grid.cell(1, 1), QStringLiteral("value one"));
    QCOMPARE(remembered, TextEncoding::Ansi);
}

void TestParameters::loadKeepsEncodingAndReplacesText()
{
    const QString path = writeFile(QStringLiteral("utf16.sql"), QByteArray("\xFF\xFE$\0a\0\n\0", 8));
    ListLines editor(QStringLiteral("unsaved edits\r\n"));
    MapCells grid;
    TextEncoding remembered = TextEncoding::Utf8;

    QCOMPARE(loadScript(path, QStringLiteral("-999"), editor, grid, remembered), 1);
    QCOMPARE(editor.text(), QStringLiteral("$a\r\n"));
    QCOMPARE(editor.lineCount(), 1);
    QCOMPARE(remembered, TextEncoding::Utf16LE);
    QCOMPARE(grid.cell(0, 1), QStringLiteral("$a"));
}

void TestParameters::loadFailureLeavesEverything_data()
{
    QTest::addColumn<QByteArray>("file");   // empty: the file does not exist
    QTest::addColumn<QString>("runId");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("message");   // %1: the file's path

    const QString rid = QStringLiteral("-999");
    const QString tooMany = tooManyParametersText();
    const QStringList six{"$n1", "$n2", "$n3", "$n4", "$n5", "$n6"};
    QTest::newRow("missing_file") << QByteArray() << rid << QStringList{"$a"}
                                  << "Datei %1 kann nicht geöffnet werden. No such file or directory";
    QTest::newRow("invalid_utf8_after_mark")
        << QByteArray("\xEF\xBB\xBF$a \xC0\xAF") << rid << QStringList{}
        << QString::fromUtf8("Datei %1 kann nicht gelesen werden: ungültiger UTF-8-Text");
    QTest::newRow("eleventh_new_name")
        << QByteArray("$n1 $n2 $n3 $n4 $n5 $n6 $n7 $n8 $n9 $n10 $n11") << rid << QStringList{} << tooMany;
    QTest::newRow("eleventh_row_after_grid_names")
        << QByteArray("$gg $hh $ii\r\n$jj $kk") << rid << QStringList{"$aa", "$bb", "$cc", "$dd", "$ee", "$ff"} << tooMany;
    QTest::newRow("eleventh_row_by_repeated_seventh_name")
        << QByteArray("$n7\r\n$n7\r\n$n7\r\n$n7\r\n$n7") << rid << six << tooMany;
    QTest::newRow("eleventh_row_from_run_id")
        << QByteArray("x = %rid%") << QStringLiteral("$n7 $n8 $n9 $n10 $n11") << six << tooMany;
}

void TestParameters::loadFailureLeavesEverything()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, runId);
    QFETCH(QStringList, before);
    QFETCH(QString, message);

    const QString path = file.isEmpty() ? m_dir.filePath(QStringLiteral("no such script.sql"))
                                        : writeFile(QStringLiteral("refused.sql"), file);
    if (message.contains(QStringLiteral("%1")))
        message = message.arg(path);

    ListLines editor(QStringLiteral("old\r\ntext\r\n"));
    MapCells grid;
    grid.setNames(before);
    grid.setCell(1, 1, QStringLiteral("v"));
    const auto cellsBefore = grid.cells();
    TextEncoding remembered = TextEncoding::Utf16BE;

    QCOMPARE(test::failureOf([&] { loadScript(path, runId, editor, grid, remembered); }), message);
    QCOMPARE(editor.text(), QStringLiteral("old\r\ntext\r\n"));
    QCOMPARE(editor.m_textWrites, 1);
    QCOMPARE(grid.cells(), cellsBefore);
    QCOMPARE(remembered, TextEncoding::Utf16BE);
}

void TestParameters::capacityFailureSetsOnlyEncoding_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<qsizetype>("more");
    // A lone LF becomes CR LF: the text is one unit longer than the file.
    QTest::newRow("one_unit_too_long") << QByteArray("$a\n") << kMemoCapacity - 3;
    // More bytes than the editor takes characters are not read into lines.
    QTest::newRow("more_bytes_than_units") << QByteArray("$a ") << kMemoCapacity - 2;
}

void TestParameters::capacityFailureSetsOnlyEncoding()
{
    QFETCH(QByteArray, start);
    QFETCH(qsizetype, more);
    QByteArray bytes = start;
    bytes.append(QByteArray(more, 'x'));
    const QString path = writeFile(QStringLiteral("huge.sql"), bytes);
    bytes.clear();

    ListLines editor(QStringLiteral("old"));
    MapCells grid;
    TextEncoding remembered = TextEncoding::Utf8;
    QCOMPARE(test::failureOf([&] { loadScript(path, QStringLiteral("-999"), editor, grid, remembered); }),
             QStringLiteral("Text überschreitet Memo-Kapazität"));
    QCOMPARE(editor.text(), QStringLiteral("old"));
    QCOMPARE(remembered, TextEncoding::Ansi);
    QVERIFY(grid.cells().isEmpty());
    QFile::remove(path);
}

void TestParameters::editorRefusalLeavesGrid()
{
    const QString path = writeFile(QStringLiteral("refused_by_editor.sql"), QByteArray("$a $b\r\n"));
    ListLines editor(QStringLiteral("old"));
    editor.m_capacity = 3;
    MapCells grid;
    TextEncoding remembered = TextEncoding::None;

    QVERIFY_THROWS_EXCEPTION(Failure, loadScript(path, QStringLiteral("-999"), editor, grid, remembered));
    QCOMPARE(editor.text(), QStringLiteral("old"));
    QVERIFY(grid.cells().isEmpty());
}

// --- substitution -------------------------------------------------------------

void TestParameters::substitution_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("varCount");
    QTest::addColumn<QString>("expected");

    QTest::newRow("values_in_place_of_names")
        << "where y = $year\r\nand m = $month\r\n" << QStringList{"$year", "$month"} << QStringList{"2024", "5"} << 2
        << "where y = 2024\r\nand m = 5\r\n";
    QTest::newRow("letter_case_ignored")
        << "$YEAR $Year" << QStringList{"$year"} << QStringList{"1"} << 1 << "1 1";
    QTest::newRow("prefix_name_takes_longer_names")
        << "v $ab $a" << QStringList{"$a", "$ab"} << QStringList{"X", "Y"} << 2 << "v Xb X";
    QTest::newRow("case_folded_duplicates_first_row_wins")
        << "$Year $year" << QStringList{"$Year", "$year"} << QStringList{"2020", "1999"} << 2 << "2020 2020";
    QTest::newRow("value_with_later_name_replaced_again")
        << "$a" << QStringList{"$a", "$b"} << QStringList{"$b!", "B"} << 2 << "B!";
    QTest::newRow("value_with_earlier_name_stays")
        << "$b" << QStringList{"$a", "$b"} << QStringList{"A", "$a"} << 2 << "$a";
    QTest::newRow("value_holding_its_own_name")
        << "$a,$a" << QStringList{"$a"} << QStringList{"($a)"} << 1 << "($a),($a)";
    QTest::newRow("empty_value_removes_name")
        << "x = $a;" << QStringList{"$a"} << QStringList{""} << 1 << "x = ;";
    QTest::newRow("empty_name_replaces_nothing")
        << "x = $a" << QStringList{""} << QStringList{"v"} << 1 << "x = $a";
    QTest::newRow("comment_lines_substituted")
        << "# $a\r\n$a" << QStringList{"$a"} << QStringList{"1"} << 1 << "# 1\r\n1";
    QTest::newRow("name_without_dollar_only_in_dollar_lines")
        << "year\r\nyear $x\r\n" << QStringList{"year"} << QStringList{"2020"} << 1 << "year\r\n2020 $x\r\n";
    QTest::newRow("rows_past_var_count_untouched")
        << "$a $b" << QStringList{"$a", "$b"} << QStringList{"1", "2"} << 1 << "1 $b";
    QTest::newRow("var_count_zero_does_nothing")
        << "$a" << QStringList{"$a"} << QStringList{"1"} << 0 << "$a";
    QTest::newRow("hidden_rows_seven_to_ten")
        << "$a $b $c $d $e $f $g $h $i $j"
        << QStringList{"$a", "$b", "$c", "$d", "$e", "$f", "$g", "$h", "$i", "$j"}
        << QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", ""} << 10 << "a b c d e f g h i ";
    QTest::newRow("ten_first_replaced_by_one")
        << "$1 $10" << QStringList{"$1", "$10"} << QStringList{"x", "y"} << 2 << "x x0";
    QTest::newRow("non_bmp_value_and_text")
        << QString::fromUtf8("😀 $a 😀") << QStringList{"$A"} << QStringList{QString::fromUtf8("ä😀")} << 1
        << QString::fromUtf8("😀 ä😀 😀");
    QTest::newRow("empty_editor") << "" << QStringList{"$a"} << QStringList{"1"} << 1 << "";
}

void TestParameters::substitution()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QFETCH(QStringList, values);
    QFETCH(int, varCount);
    QFETCH(QString, expected);

    ListLines editor(text);
    MapCells grid;
    grid.setRows(names, values);
    const auto cellsBefore = grid.cells();

    substituteParameters(editor, grid, varCount, [] {});
    QCOMPARE(editor.text(), expected);
    QCOMPARE(grid.cells(), cellsBefore);
}

void TestParameters::parameterMarks_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("varCount");
    // Each mark as "at+length:row", with "!" when the row holds no value.
    QTest::addColumn<QStringList>("marks");

    QTest::newRow("filled_and_empty")
        << "where y = $year and s = $site" << QStringList{"$year", "$site"} << QStringList{"2026", ""} << 2
        << QStringList{"10+5:1", "24+5:2!"};
    QTest::newRow("letter_case_ignored") << "$YEAR" << QStringList{"$year"} << QStringList{"1"} << 1
                                         << QStringList{"0+5:1"};
    QTest::newRow("first_row_takes_a_longer_name")
        << "$ab $a" << QStringList{"$a", "$ab"} << QStringList{"X", "Y"} << 2 << QStringList{"0+2:1", "4+2:1"};
    QTest::newRow("not_in_the_grid_runs_to_the_blank")
        << "in ($x, $y) go" << QStringList{"$a"} << QStringList{"1"} << 1 << QStringList{"4+3:0!", "8+3:0!"};
    QTest::newRow("rows_past_var_count_replace_nothing")
        << "$a $b" << QStringList{"$a", "$b"} << QStringList{"1", "2"} << 1 << QStringList{"0+2:1", "3+2:0!"};
}

// Where the editor marks a name, and whether as filled, is where and how
// the substitution replaces it.
void TestParameters::parameterMarks()
{
    QFETCH(QString, line);
    QFETCH(QStringList, names);
    QFETCH(QStringList, values);
    QFETCH(int, varCount);
    QFETCH(QStringList, marks);

    MapCells grid;
    grid.setRows(names, values);
    QStringList got;
    for (const ParameterMark &mark : rux::parameterMarks(line, grid, varCount))
        got << QStringLiteral("%1+%2:%3%4").arg(mark.at).arg(mark.length).arg(mark.row).arg(mark.filled ? "" : "!");
    QCOMPARE(got, marks);
}

void TestParameters::substitutionProcessesEventsOncePerRow_data()
{
    QTest::addColumn<int>("varCount");
    QTest::newRow("no_rows") << 0;
    QTest::newRow("negative_count") << -1;
    QTest::newRow("one_row") << 1;
    QTest::newRow("ten_rows") << 10;
}

void TestParameters::substitutionProcessesEventsOncePerRow()
{
    QFETCH(int, varCount);

    ListLines editor(QStringLiteral("$a"));
    MapCells grid;
    int events = 0;
    substituteParameters(editor, grid, varCount, [&] { ++events; });
    QCOMPARE(events, qMax(0, varCount));
}

void TestParameters::nestedHandlerBetweenRows_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("expected");

    // Rows: $a -> "1", $b -> "2", $c -> "3"; the text "$a $b $c\r\n$b\r\n".
    QTest::newRow("nothing_happens") << "none" << "1 2 3\r\n2\r\n";
    QTest::newRow("next_row_renamed") << "rename_b" << "1 $b 3\r\n$b\r\n";
    QTest::newRow("next_value_changed") << "value_b" << "1 two 3\r\ntwo\r\n";
    QTest::newRow("grid_cleared") << "clear" << "1 $b $c\r\n$b\r\n";
    QTest::newRow("line_edited") << "edit_line" << "1 2 3 3\r\n2\r\n";
    QTest::newRow("text_shortened") << "shorten" << "2\r\n";
    QTest::newRow("text_lengthened") << "lengthen" << "1 2 3\r\n2\r\n$b\r\n";
    QTest::newRow("nested_substitution") << "nested" << "1 2 3\r\n2\r\n";
}

void TestParameters::nestedHandlerBetweenRows()
{
    QFETCH(QString, handler);
    QFETCH(QString, expected);

    ListLines editor(QStringLiteral("$a $b $c\r\n$b\r\n"));
    MapCells grid;
    grid.setRows({"$a", "$b", "$c"}, {"1", "2", "3"});

    int calls = 0;
    const std::function<void()> afterRow = [&] {
        if (++calls != 1)
            return;
        // Runs between row 1 and row 2, as a handler inside processEvents.
        if (handler == "rename_b") {
            grid.setCell(0, 2, QStringLiteral("$x"));
        } else if (handler == "value_b") {
            grid.setCell(1, 2, QStringLiteral("two"));
        } else if (handler == "clear") {
            clearParameterRows(grid);
        } else if (handler == "edit_line") {
            editor.setLine(0, editor.line(0) + QStringLiteral(" $c"));
        } else if (handler == "shorten") {
            editor.setText(QStringLiteral("$b\r\n"));
        } else if (handler == "lengthen") {
            editor.setText(editor.text() + QStringLiteral("$b\r\n"));
        } else if (handler == "nested") {
            substituteParameters(editor, grid, 3, [&] { ++calls; });
        }
    };

    substituteParameters(editor, grid, 3, afterRow);
    QCOMPARE(editor.text(), expected);
}

void TestParameters::substitutionRefusesEleventhRow()
{
    ListLines editor(QStringLiteral("$a"));
    MapCells grid;
    grid.setCell(0, 1, QStringLiteral("$a"));
    grid.setCell(1, 1, QStringLiteral("1"));
    int events = 0;
    QCOMPARE(test::failureOf([&] { substituteParameters(editor, grid, kMaxParamRows + 1, [&] { ++events; }); }),
             tooManyParametersText());
    QCOMPARE(editor.text(), QStringLiteral("$a"));
    QCOMPARE(editor.m_lineWrites, 0);
    QCOMPARE(events, 0);
}

void TestParameters::substitutionWritesOnlyChangedLines()
{
    ListLines editor(QStringLiteral("$a\r\n$b\r\nno parameter\r\n$A"));
    MapCells grid;
    grid.setCell(0, 1, QStringLiteral("$a"));
    grid.setCell(1, 1, QStringLiteral("$a"));
    grid.setCell(0, 2, QStringLiteral("$b"));
    grid.setCell(1, 2, QStringLiteral("x"));

    substituteParameters(editor, grid, 2, [] {});
    QCOMPARE(editor.text(), QStringLiteral("$a\r\nx\r\nno parameter\r\n$a"));
    // Row 1 changes only "$A"; row 2 only "$b".
    QCOMPARE(editor.m_lineWrites, 2);
}

void TestParameters::clearEmptiesRowsOneToSix()
{
    MapCells grid;
    for (int r = 0; r <= kMaxParamRows; ++r) {
        grid.setCell(0, r, QStringLiteral("$n%1").arg(r));
        grid.setCell(1, r, QStringLiteral("v%1").arg(r));
    }
    clearParameterRows(grid);
    for (int r = 1; r <= kGridRowCount; ++r) {
        QCOMPARE(grid.cell(0, r), QString());
        QCOMPARE(grid.cell(1, r), QString());
    }
    QCOMPARE(grid.cell(0, 0), QStringLiteral("$n0"));
    for (int r = kGridRowCount + 1; r <= kMaxParamRows; ++r) {
        QCOMPARE(grid.cell(0, r), QStringLiteral("$n%1").arg(r));
        QCOMPARE(grid.cell(1, r), QStringLiteral("v%1").arg(r));
    }
    QCOMPARE(rux::countNamedRows(grid), 0);
}

QTEST_GUILESS_MAIN(TestParameters)
#include "tst_parameters.moc"
