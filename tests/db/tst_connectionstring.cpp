#include "db/connectionstring.h"
#include "tests/support/failureof.h"

#include <QStandardPaths>
#include <QtTest>

using namespace rux;

namespace {

const QString kHead = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=");
const QString kTail = QStringLiteral(
    " ;Mode=Share Deny None;Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";"
    "Jet OLEDB:Database Password=\"\";Jet OLEDB:Engine Type=4;Jet OLEDB:Database Locking Mode=0;"
    "Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
    "Extended Properties=\"\";"
    "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
    "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
    "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False");

QString failureText(const QString &connectionString)
{
    return test::failureOf([&] { parseConnectionString(connectionString); }, {});
}

} // namespace

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildsFullText_data();
    void buildsFullText();
    void builtStringHoldsEighteenPairs();
    void builtStringParsesBack_data();
    void builtStringParsesBack();
    void pathWithSemicolonFails();
    void builtNameReadsBackExactly_data();
    void builtNameReadsBackExactly();
    void builtNameNamingAnotherFileFails_data();
    void builtNameNamingAnotherFileFails();
    void defaultNamesDocumentsDatabase();
    void parsesPairs_data();
    void parsesPairs();
    void rejectsMalformed_data();
    void rejectsMalformed();
    void looksUpValues_data();
    void looksUpValues();
    void dataSourceLosesTrailingBlanks_data();
    void knowsItsKeys_data();
    void knowsItsKeys();
    void dataSourceLosesTrailingBlanks();
};

void TestConnectionString::buildsFullText_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain_path") << QStringLiteral("/data/orders.mdb");
    QTest::newRow("path_with_blanks") << QStringLiteral("/home/my user/Sales 2024.mdb");
    QTest::newRow("path_with_semicolon") << QStringLiteral("/data/a;b.mdb");
    QTest::newRow("non_ascii_path") << QStringLiteral("/daten/Größe_Übersicht_€.mdb");
    QTest::newRow("leading_and_trailing_blanks_kept") << QStringLiteral("  x.mdb  ");
    QTest::newRow("empty_name") << QString();
}

void TestConnectionString::buildsFullText()
{
    QFETCH(QString, path);
    QCOMPARE(buildConnectionString(path), kHead + path + kTail);
}

void TestConnectionString::builtStringHoldsEighteenPairs()
{
    const QString built = buildConnectionString(QStringLiteral("/data/orders.mdb"));
    QCOMPARE(built.count(u';'), 17);
    QVERIFY(built.endsWith(QLatin1String(";Jet OLEDB:SFP=False")));
    const QList<ConnectionPair> pairs = parseConnectionString(built);
    QCOMPARE(pairs.size(), 18);
    QCOMPARE(pairs.first().key, QStringLiteral("Provider"));
    QCOMPARE(pairs.last().key, QStringLiteral("Jet OLEDB:SFP"));
    QCOMPARE(pairs.last().value, QStringLiteral("False"));
    QCOMPARE(pairs.at(11).key, QStringLiteral("Extended Properties"));
    QVERIFY(!pairs.at(11).value.isNull());
    QCOMPARE(pairs.at(11).value, QString());
}

void TestConnectionString::builtStringParsesBack_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain_path") << QStringLiteral("/data/orders.mdb");
    QTest::newRow("path_with_blanks") << QStringLiteral("/home/my user/Sales 2024.mdb");
    QTest::newRow("non_ascii_path") << QStringLiteral("/daten/Größe.mdb");
    QTest::newRow("path_with_equals_sign") << QStringLiteral("/data/a=b.mdb");
    QTest::newRow("path_with_inner_quote") << QStringLiteral("/data/it's.mdb");
}

void TestConnectionString::builtStringParsesBack()
{
    QFETCH(QString, path);
    const QString built = buildConnectionString(path);
    QCOMPARE(connectionValue(built, QStringLiteral("Data Source")), path + u' ');
    QCOMPARE(dataSourceOf(built), path);
    QCOMPARE(connectionValue(built, QStringLiteral("provider")),
             QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    QCOMPARE(connectionValue(built, QStringLiteral("Mode")), QStringLiteral("Share Deny None"));
}

void TestConnectionString::pathWithSemicolonFails()
{
    const QString built = buildConnectionString(QStringLiteral("/data/a;b.mdb"));
    QCOMPARE(failureText(built),
             QStringLiteral("Format of the connection string is invalid near \"b.mdb \"."));
    QVERIFY_THROWS_EXCEPTION(Failure, dataSourceOf(built));
}

void TestConnectionString::builtNameReadsBackExactly_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("trailing_blank") << QStringLiteral("/data/x.mdb ");
    QTest::newRow("trailing_blanks") << QStringLiteral("/data/x.mdb   ");
    QTest::newRow("only_blanks") << QStringLiteral("  ");
    QTest::newRow("leading_blanks") << QStringLiteral("  /data/x.mdb");
    QTest::newRow("quote_inside") << QStringLiteral("/data/say \"hi\".mdb");
    QTest::newRow("empty") << QString();
}

// The builder adds one blank after the name; reading the Data Source back
// takes off that blank and no other, so "x.mdb " does not open "x.mdb".
void TestConnectionString::builtNameReadsBackExactly()
{
    QFETCH(QString, path);
    QCOMPARE(dataSourceOf(buildConnectionString(path)), path);
}

void TestConnectionString::builtNameNamingAnotherFileFails_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("semicolon_then_blank") << QStringLiteral("/data/a.mdb; ");
    QTest::newRow("known_key_after_semicolon") << QStringLiteral("/data/a;Mode=x.mdb");
    QTest::newRow("second_data_source") << QStringLiteral("/data/a;Data Source=/data/b.mdb");
    QTest::newRow("password_after_semicolon") << QStringLiteral("/data/a;Password=x");
    QTest::newRow("in_double_quotes") << QStringLiteral("\"/data/q.mdb\"");
    QTest::newRow("in_single_quotes") << QStringLiteral("'/data/q.mdb'");
    QTest::newRow("blank_then_quotes") << QStringLiteral(" \"/data/q.mdb\"  ");
}

// A name that the string cannot carry as it is (a ";" that starts further
// pairs, quotes that the reader takes off) fails instead of naming a file
// other than the one given.
void TestConnectionString::builtNameNamingAnotherFileFails()
{
    QFETCH(QString, path);
    const QString built = buildConnectionString(path);
    QString got;
    const QString failure = test::failureOf([&] { got = dataSourceOf(built); });
    QVERIFY2(failure.startsWith(QStringLiteral("Format of the connection string is invalid")),
             qPrintable(QStringLiteral("read back as \"%1\"").arg(got)));
}

void TestConnectionString::defaultNamesDocumentsDatabase()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString expected = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + documents
        + QStringLiteral("/rux_ppp.mdb;Persist Security Info=False");
    QCOMPARE(defaultConnectionString(), expected);
    QCOMPARE(dataSourceOf(defaultConnectionString()), documents + QStringLiteral("/rux_ppp.mdb"));
    QCOMPARE(parseConnectionString(defaultConnectionString()).size(), 3);
}

void TestConnectionString::parsesPairs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected"); // key, value, key, value, ...

    QTest::newRow("single_pair") << QStringLiteral("a=1") << QStringList{"a", "1"};
    QTest::newRow("blanks_around_key_removed")
        << QStringLiteral("  Data Source  =x;") << QStringList{"Data Source", "x"};
    QTest::newRow("unquoted_value_kept_as_is")
        << QStringLiteral("a= x y ;b=2") << QStringList{"a", " x y ", "b", "2"};
    QTest::newRow("value_holding_equals_sign")
        << QStringLiteral("a=x=y") << QStringList{"a", "x=y"};
    QTest::newRow("empty_unquoted_value") << QStringLiteral("a=;b=2")
                                          << QStringList{"a", "", "b", "2"};
    QTest::newRow("empty_double_quoted_value")
        << QStringLiteral("a=\"\";b=2") << QStringList{"a", "", "b", "2"};
    QTest::newRow("empty_single_quoted_value")
        << QStringLiteral("a='';b=2") << QStringList{"a", "", "b", "2"};
    QTest::newRow("semicolon_inside_double_quotes")
        << QStringLiteral("Data Source=\"/d/a;b.mdb\";b=2")
        << QStringList{"Data Source", "/d/a;b.mdb", "b", "2"};
    QTest::newRow("semicolon_inside_single_quotes")
        << QStringLiteral("x='p;q'") << QStringList{"x", "p;q"};
    QTest::newRow("doubled_double_quote")
        << QStringLiteral("x=\"say \"\"hi\"\"\"") << QStringList{"x", "say \"hi\""};
    QTest::newRow("doubled_single_quote")
        << QStringLiteral("x='it''s'") << QStringList{"x", "it's"};
    QTest::newRow("other_quote_inside_quotes")
        << QStringLiteral("x=\"it's\";y='a\"b'") << QStringList{"x", "it's", "y", "a\"b"};
    QTest::newRow("blanks_after_closing_quote")
        << QStringLiteral("x=\"v\"   ;y=1") << QStringList{"x", "v", "y", "1"};
    QTest::newRow("blanks_before_opening_quote")
        << QStringLiteral("x=  \"a;b\"") << QStringList{"x", "a;b"};
    QTest::newRow("quote_inside_unquoted_value")
        << QStringLiteral("x=a\"b;y=1") << QStringList{"x", "a\"b", "y", "1"};
    QTest::newRow("empty_segments_skipped")
        << QStringLiteral(";;a=1;;b=2;") << QStringList{"a", "1", "b", "2"};
    QTest::newRow("blank_segment_skipped")
        << QStringLiteral("a=1;  ;b=2; ") << QStringList{"a", "1", "b", "2"};
    QTest::newRow("empty_text") << QString() << QStringList{};
    QTest::newRow("key_with_apostrophe")
        << QStringLiteral("Jet OLEDB:Don't Copy Locale on Compact=False")
        << QStringList{"Jet OLEDB:Don't Copy Locale on Compact", "False"};
}

void TestConnectionString::parsesPairs()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const ConnectionPair &pair : parseConnectionString(text)) {
        QVERIFY2(!pair.value.isNull(), qPrintable(pair.key));
        got << pair.key << pair.value;
    }
    QCOMPARE(got, expected);
}

void TestConnectionString::rejectsMalformed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("segment");

    QTest::newRow("segment_without_equals") << QStringLiteral("a=1;junk;b=2")
                                            << QStringLiteral("junk");
    QTest::newRow("last_segment_without_equals")
        << QStringLiteral("a=1;tail ") << QStringLiteral("tail ");
    QTest::newRow("only_a_word") << QStringLiteral("word") << QStringLiteral("word");
    QTest::newRow("empty_key") << QStringLiteral("a=1; =2") << QStringLiteral(" =2");
    QTest::newRow("unterminated_double_quote")
        << QStringLiteral("a=1;x=\"abc;y=2") << QStringLiteral("x=\"abc;y=2");
    QTest::newRow("unterminated_single_quote")
        << QStringLiteral("x='it''s") << QStringLiteral("x='it''s");
    QTest::newRow("text_after_closing_quote")
        << QStringLiteral("x=\"a\"b;y=1") << QStringLiteral("x=\"a\"b");
}

void TestConnectionString::rejectsMalformed()
{
    QFETCH(QString, text);
    QFETCH(QString, segment);
    QCOMPARE(failureText(text),
             QStringLiteral("Format of the connection string is invalid near \"%1\".").arg(segment));
}

void TestConnectionString::looksUpValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("isNull");

    QTest::newRow("key_in_other_case")
        << QStringLiteral("DATA SOURCE=x") << QStringLiteral("data source") << "x" << false;
    QTest::newRow("blanks_around_asked_key")
        << QStringLiteral("Mode=m") << QStringLiteral("  mode ") << "m" << false;
    QTest::newRow("absent_key_is_null")
        << QStringLiteral("a=1") << QStringLiteral("b") << QString() << true;
    QTest::newRow("empty_value_is_not_null")
        << QStringLiteral("a=;b=1") << QStringLiteral("a") << QString() << false;
    QTest::newRow("empty_quoted_value_is_not_null")
        << QStringLiteral("a=\"\"") << QStringLiteral("A") << QString() << false;
    QTest::newRow("last_repeated_key_wins")
        << QStringLiteral("a=1;A=2;b=3") << QStringLiteral("a") << "2" << false;
    QTest::newRow("only_ascii_letters_fold")
        << QStringLiteral("Größe=1") << QStringLiteral("GRÖSSE") << QString() << true;
}

void TestConnectionString::looksUpValues()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(bool, isNull);
    const QString value = connectionValue(text, key);
    QCOMPARE(value.isNull(), isNull);
    QCOMPARE(value, expected);
}

void TestConnectionString::dataSourceLosesTrailingBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("isNull");

    QTest::newRow("several_trailing_blanks")
        << QStringLiteral("Data Source=/a b.mdb   ;x=1") << "/a b.mdb" << false;
    QTest::newRow("leading_blank_kept") << QStringLiteral("Data Source= /a.mdb") << " /a.mdb"
                                        << false;
    QTest::newRow("trailing_tab_kept") << QStringLiteral("Data Source=/a.mdb\t") << "/a.mdb\t"
                                       << false;
    QTest::newRow("quoted_with_semicolon")
        << QStringLiteral("data source=\"/a;b.mdb \"") << "/a;b.mdb" << false;
    QTest::newRow("only_blanks") << QStringLiteral("Data Source=  ") << QString() << false;
    QTest::newRow("absent") << QStringLiteral("Provider=p") << QString() << true;
}

void TestConnectionString::dataSourceLosesTrailingBlanks()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(bool, isNull);
    const QString value = dataSourceOf(text);
    QCOMPARE(value.isNull(), isNull);
    QCOMPARE(value, expected);
}

// The keys a connection accepts: those of the built and the default
// string, and nothing a piece of a path could make up.
void TestConnectionString::knowsItsKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("known");
    for (const rux::ConnectionPair &pair : rux::parseConnectionString(rux::buildConnectionString("/d/a.db")))
        QTest::addRow("built %s", qPrintable(pair.key)) << pair.key << true;
    for (const rux::ConnectionPair &pair : rux::parseConnectionString(rux::defaultConnectionString()))
        QTest::addRow("default %s", qPrintable(pair.key)) << pair.key << true;
    QTest::newRow("case_and_blanks") << " jet oledb:sfp\t" << true;
    QTest::newRow("path_piece") << "b" << false;
    QTest::newRow("prefix_of_a_key") << "Jet OLEDB" << false;
    QTest::newRow("empty") << "" << false;
}

void TestConnectionString::knowsItsKeys()
{
    QFETCH(QString, key);
    QFETCH(bool, known);
    QCOMPARE(rux::isConnectionKey(key), known);
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
