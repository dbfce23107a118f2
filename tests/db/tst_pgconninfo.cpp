// PostgreSQL URIs without a server: how they are split, how the password is
// masked wherever the Data Source is shown, and which parameter marks
// count as standing in the statement.

#include "../failureof.h"
#include "failure.h"
#include "db/postgres/pgconninfo.h"
#include "pgstatement.h"
#include "sqltext.h"

#include <QTest>

using rux::Failure;
using rux::test::failureOf;
namespace pg = rux::pg;

namespace {


} // namespace

class TestPgConnInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recognisesTheScheme_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("postgres");
        QTest::newRow("postgresql") << "postgresql://h/db" << true;
        QTest::newRow("postgres") << "postgres://h/db" << true;
        QTest::newRow("upper_case") << "PostgreSQL://h/db" << true;
        QTest::newRow("file") << "/home/u/postgresql://x.db" << false;
        QTest::newRow("prefix_only_partly") << "postgresql:/h" << false;
        QTest::newRow("empty") << "" << false;
    }

    void recognisesTheScheme()
    {
        QFETCH(QString, text);
        QFETCH(bool, postgres);
        QCOMPARE(pg::isPostgresUri(text), postgres);
    }

    void splitsTheParts_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("hosts");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("dbname");
        QTest::addColumn<QStringList>("options"); // key=value

        QTest::newRow("everything") << "postgresql://ann:pw@db.example:5433/sales" << "ann" << "pw"
                                    << QStringList{"db.example"} << QStringList{"5433"} << "sales" << QStringList();
        QTest::newRow("host_only") << "postgres://localhost" << "" << "" << QStringList{"localhost"}
                                   << QStringList{""} << "" << QStringList();
        QTest::newRow("nothing") << "postgresql://" << "" << "" << QStringList() << QStringList() << ""
                                 << QStringList();
        QTest::newRow("user_without_password") << "postgresql://ann@h/d" << "ann" << "" << QStringList{"h"}
                                               << QStringList{""} << "d" << QStringList();
        QTest::newRow("percent_decoded") << "postgresql://a%40b:p%3Bw%2F@h/d%20b" << "a@b" << "p;w/"
                                         << QStringList{"h"} << QStringList{""} << "d b" << QStringList();
        QTest::newRow("utf8_decoded") << "postgresql://u:%C3%A4@h/Ums%C3%A4tze" << "u" << "ä" << QStringList{"h"}
                                      << QStringList{""} << "Umsätze" << QStringList();
        QTest::newRow("ipv6") << "postgresql://[::1]:5432/d" << "" << "" << QStringList{"::1"}
                              << QStringList{"5432"} << "d" << QStringList();
        QTest::newRow("several_hosts") << "postgresql://h1:1,h2,h3:3/d" << "" << ""
                                       << QStringList{"h1", "h2", "h3"} << QStringList{"1", "", "3"} << "d"
                                       << QStringList();
        QTest::newRow("socket_folder") << "postgresql://%2Fvar%2Frun%2Fpostgresql/d" << "" << ""
                                       << QStringList{"/var/run/postgresql"} << QStringList{""} << "d"
                                       << QStringList();
        QTest::newRow("query_options")
            << "postgresql://h/d?sslmode=disable&options=-csearch_path%3Ds1&application_name=r%20x" << "" << ""
            << QStringList{"h"} << QStringList{""} << "d"
            << QStringList{"sslmode=disable", "options=-csearch_path=s1", "application_name=r x"};
        QTest::newRow("query_names_the_parts") << "postgresql:///d?host=h&port=7&user=u&password=p&dbname=e"
                                               << "u" << "p" << QStringList{"h"} << QStringList{"7"} << "e"
                                               << QStringList();
        QTest::newRow("at_in_query_is_no_user") << "postgresql://h/d?application_name=a@b" << "" << ""
                                                << QStringList{"h"} << QStringList{""} << "d"
                                                << QStringList{"application_name=a@b"};
    }

    void splitsTheParts()
    {
        QFETCH(QString, uri);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QStringList, hosts);
        QFETCH(QStringList, ports);
        QFETCH(QString, dbname);
        QFETCH(QStringList, options);
        const pg::ConnInfo info = pg::parseUri(uri);
        QCOMPARE(info.user, user);
        QCOMPARE(info.password, password);
        QCOMPARE(info.hosts, hosts);
        QCOMPARE(info.ports, ports);
        QCOMPARE(info.dbname, dbname);
        QStringList got;
        for (const auto &o : info.options)
            got.append(o.first + u'=' + o.second);
        QCOMPARE(got, options);
    }

    void refusesBadUris_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("failure");
        QTest::newRow("bad_percent") << "postgresql://u:s%zzt@h/d"
                                     << "Invalid PostgreSQL URI 'postgresql://u:***@h/d': invalid percent-encoded token.";
        QTest::newRow("nul") << "postgresql://u:%00@h/d"
                             << "Invalid PostgreSQL URI 'postgresql://u:***@h/d': forbidden value %00 in percent-encoded value.";
        QTest::newRow("port_not_a_number") << "postgresql://h:port/d"
                                           << "Invalid PostgreSQL URI 'postgresql://h:***/d': invalid port number.";
        QTest::newRow("port_too_large") << "postgresql://h:70000/d"
                                        << "Invalid PostgreSQL URI 'postgresql://h:70000/d': invalid port number.";
        QTest::newRow("open_ipv6") << "postgresql://[::1/d"
                                   << "Invalid PostgreSQL URI 'postgresql://[::1/d': missing \"]\" in an IPv6 host address.";
        QTest::newRow("query_without_equals") << "postgresql://h/d?sslmode"
                                              << "Invalid PostgreSQL URI 'postgresql://h/d?sslmode': a query parameter needs the form key=value.";
    }

    void refusesBadUris()
    {
        QFETCH(QString, uri);
        QFETCH(QString, failure);
        QCOMPARE(failureOf([&]() { pg::parseUri(uri); }), failure);
    }

    void masksThePassword_data()
    {
        QTest::addColumn<QString>("dataSource");
        QTest::addColumn<QString>("shown");
        QTest::newRow("user_and_password") << "postgresql://ann:Geheim1@h:5432/d" << "postgresql://ann:***@h:5432/d";
        QTest::newRow("empty_password") << "postgresql://ann:@h/d" << "postgresql://ann:***@h/d";
        QTest::newRow("no_password") << "postgresql://ann@h/d" << "postgresql://ann@h/d";
        QTest::newRow("password_with_colon") << "postgresql://ann:a:b@h/d" << "postgresql://ann:***@h/d";
        QTest::newRow("password_in_query") << "postgres://h/d?sslmode=require&password=Geheim1&user=u"
                                           << "postgres://h/d?sslmode=require&password=***&user=u";
        QTest::newRow("both") << "postgresql://a:x1@h/d?PASSWORD=x2" << "postgresql://a:***@h/d?PASSWORD=***";
        QTest::newRow("at_missing") << "postgresql://ann:Geheim1/d" << "postgresql://ann:***/d";
        QTest::newRow("numeric_port_stays") << "postgresql://h:5432,k:x9/d" << "postgresql://h:5432,k:***/d";
        QTest::newRow("file_name_unchanged") << "/data/a:b@c.db" << "/data/a:b@c.db";
    }

    void masksThePassword()
    {
        QFETCH(QString, dataSource);
        QFETCH(QString, shown);
        QCOMPARE(pg::maskPassword(dataSource), shown);
    }

    void masksSecretsInOtherTexts()
    {
        const QString uri = QStringLiteral("postgresql://u:p%40ss@h/d?password=second");
        QCOMPARE(pg::maskSecrets(QStringLiteral("a p@ss b p%40ss c second"), uri),
                 QStringLiteral("a *** b *** c ***"));
        QCOMPARE(pg::maskSecrets(QStringLiteral("p@ss"), QStringLiteral("/file.db")), QStringLiteral("p@ss"));
    }

    void refusesAUriCutBySemicolon()
    {
        const QString cut = QStringLiteral("Provider=x;Data Source=postgresql://u:ab;cd@h/d ;Mode=Share Deny None");
        const QString text = failureOf([&]() { pg::refuseBrokenUri(cut); });
        QVERIFY2(text.contains(QStringLiteral("%3B")), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("ab")));
        QVERIFY(!text.contains(QStringLiteral("cd")));
        QCOMPARE(failureOf([&]() { pg::refuseBrokenUri(QStringLiteral("Data Source=/a;b=c.db")); }),
                 QStringLiteral("<no failure>"));
    }

    // Marks rewritten to "?" count only where the server reads statement
    // text.
    void marksInTheStatement_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << "select * from t where a = :a" << true;
        QTest::newRow("line_comment") << "select 1 -- where a = :a" << false;
        QTest::newRow("block_comment") << "select 1 /* :a */" << false;
        QTest::newRow("nested_block_comment") << "select 1 /* /* */ :a */" << false;
        QTest::newRow("after_block_comment") << "select 1 /* x */ + :a" << true;
        QTest::newRow("dollar_quoted") << "select $$ :a $$" << false;
        QTest::newRow("tagged_dollar_quoted") << "select $f$ $$ :a $f$" << false;
        QTest::newRow("after_dollar_quoted") << "select $$x$$ || :a" << true;
        QTest::newRow("escape_string") << "select E'a\\\\b', :a" << true;
        QTest::newRow("cast") << "select 1::int" << false;
    }

    void marksInTheStatement()
    {
        QFETCH(QString, sql);
        QFETCH(bool, refused);
        const rux::MarkedText marked = rux::rewriteParameterMarks(sql);
        const QString text = failureOf([&]() { pg::refuseParameterMarks(marked.text, marked.positions); });
        QCOMPARE(text, refused ? QStringLiteral("No value given for one or more required parameters.")
                               : QStringLiteral("<no failure>"));
    }
};

QTEST_GUILESS_MAIN(TestPgConnInfo)
#include "tst_pgconninfo.moc"
