// PostgreSQL URIs without a server: how they are split, how the password is
// masked wherever the Data Source is shown, and which parameter marks
// count as standing in the statement.

#include "db/adoconnection.h"
#include "db/postgres/pgconninfo.h"
#include "base/failure.h"
#include "tests/support/failureof.h"

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

    // libpq's reading: several hosts and ports each as one value, the
    // further keywords in libpq's order of keywords.
    void splitsTheParts_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("dbname");
        QTest::addColumn<QStringList>("options"); // key=value

        QTest::newRow("everything") << "postgresql://ann:pw@db.example:5433/sales" << "ann" << "pw"
                                    << "db.example" << "5433" << "sales" << QStringList();
        QTest::newRow("host_only") << "postgres://localhost" << "" << "" << "localhost" << "" << ""
                                   << QStringList();
        QTest::newRow("nothing") << "postgresql://" << "" << "" << "" << "" << "" << QStringList();
        QTest::newRow("user_without_password") << "postgresql://ann@h/d" << "ann" << "" << "h" << "" << "d"
                                               << QStringList();
        QTest::newRow("percent_decoded") << "postgresql://a%40b:p%3Bw%2F@h/d%20b" << "a@b" << "p;w/" << "h"
                                         << "" << "d b" << QStringList();
        QTest::newRow("utf8_decoded") << "postgresql://u:%C3%A4@h/Ums%C3%A4tze" << "u" << "ä" << "h" << ""
                                      << "Umsätze" << QStringList();
        QTest::newRow("ipv6") << "postgresql://[::1]:5432/d" << "" << "" << "::1" << "5432" << "d"
                              << QStringList();
        QTest::newRow("several_hosts") << "postgresql://h1:1,h2,h3:3/d" << "" << "" << "h1,h2,h3" << "1,,3"
                                       << "d" << QStringList();
        QTest::newRow("socket_folder") << "postgresql://%2Fvar%2Frun%2Fpostgresql/d" << "" << ""
                                       << "/var/run/postgresql" << "" << "d" << QStringList();
        QTest::newRow("query_options")
            << "postgresql://h/d?sslmode=disable&options=-csearch_path%3Ds1&application_name=r%20x" << "" << ""
            << "h" << "" << "d"
            << QStringList{"options=-csearch_path=s1", "application_name=r x", "sslmode=disable"};
        QTest::newRow("query_names_the_parts") << "postgresql:///d?host=h&port=7&user=u&password=p&dbname=e"
                                               << "u" << "p" << "h" << "7" << "e" << QStringList();
        QTest::newRow("at_in_query_is_no_user") << "postgresql://h/d?application_name=a@b" << "" << "" << "h"
                                                << "" << "d" << QStringList{"application_name=a@b"};
        QTest::newRow("scheme_in_capitals") << "PostgreSQL://h/d" << "" << "" << "h" << "" << "d"
                                            << QStringList();
    }

    void splitsTheParts()
    {
        QFETCH(QString, uri);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, dbname);
        QFETCH(QStringList, options);
        const pg::ConnInfo info = pg::parseUri(uri);
        QCOMPARE(info.value(u"user"), user);
        QCOMPARE(info.value(u"password"), password);
        QCOMPARE(info.value(u"host"), host);
        QCOMPARE(info.value(u"port"), port);
        QCOMPARE(info.value(u"dbname"), dbname);
        const QStringList parts = {"user", "password", "host", "port", "dbname"};
        QStringList got;
        for (const auto &o : info.options) {
            if (!parts.contains(o.first))
                got.append(o.first + u'=' + o.second);
        }
        QCOMPARE(got, options);
    }

    void refusesBadUris_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("failure");
        QTest::newRow("bad_percent") << "postgresql://u:s%zzt@h/d"
                                     << "Invalid PostgreSQL URI 'postgresql://u:***@h/d': invalid percent-encoded token: \"***\".";
        QTest::newRow("nul") << "postgresql://u:%00@h/d"
                             << "Invalid PostgreSQL URI 'postgresql://u:***@h/d': forbidden value *** in percent-encoded "
                                "value: \"***\".";
        QTest::newRow("port_not_a_number") << "postgresql://h:port/d"
                                           << "Invalid PostgreSQL URI 'postgresql://h:***/d': invalid port number.";
        QTest::newRow("port_too_large") << "postgresql://h:70000/d"
                                        << "Invalid PostgreSQL URI 'postgresql://h:70000/d': invalid port number.";
        QTest::newRow("open_ipv6") << "postgresql://[::1/d"
                                   << "Invalid PostgreSQL URI 'postgresql://[::1/d': end of string reached when looking for "
                                      "matching \"]\" in IPv6 host address in URI: \"postgresql://[::1/d\".";
        QTest::newRow("query_without_equals") << "postgresql://h/d?sslmode"
                                              << "Invalid PostgreSQL URI 'postgresql://h/d?sslmode': missing key/value separator "
                                                 "\"=\" in URI query parameter: \"sslmode\".";
        QTest::newRow("uri_quoted_by_libpq") << "postgresql://u:pw@[::1/d"
                                             << "Invalid PostgreSQL URI 'postgresql://u:***@[::1/d': end of string "
                                                "reached when looking for matching \"]\" in IPv6 host address in "
                                                "URI: \"postgresql://u:***@[::1/d\".";
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
        QTest::newRow("at_in_password") << "postgresql://ann:a@b@h/d" << "postgresql://ann:***@h/d";
        // libpq looks for the user part's "@" up to the first "/" only.
        QTest::newRow("user_part_past_question_mark") << "postgresql://h?x=u:Geheim1@k/d"
                                                      << "postgresql://h?x=u:***@k/d";
        QTest::newRow("encoded_key_in_query") << "postgresql://h/d?pass%77ord=Geheim1"
                                              << "postgresql://h/d?pass%77ord=***";
        QTest::newRow("port_after_ipv6") << "postgresql://[::1]:x9/d" << "postgresql://[::1]:***/d";
        QTest::newRow("bad_percent_in_password") << "postgresql://u:s%zz@h/d" << "postgresql://u:***@h/d";
        QTest::newRow("empty_port_stays") << "postgresql://h:,k:7/d" << "postgresql://h:,k:7/d";
        QTest::newRow("file_name_unchanged") << "/data/a:b@c.db" << "/data/a:b@c.db";
        QTest::newRow("refused_by_libpq") << "postgres://ann:Geh%zz@[h/d" << "postgres://ann:***@[h/d";
    }

    void masksThePassword()
    {
        QFETCH(QString, dataSource);
        QFETCH(QString, shown);
        QCOMPARE(pg::maskPassword(dataSource), shown);
        // What the window and the run log show of a Data Source.
        QCOMPARE(rux::AdoConnection::shownDataSource(dataSource), shown);
    }

    void masksSecretsInOtherTexts()
    {
        const QString uri = QStringLiteral("postgresql://u:p%40ss@h/d?password=second");
        QCOMPARE(pg::maskSecrets(QStringLiteral("a p@ss b p%40ss c second"), uri),
                 QStringLiteral("a *** b *** c ***"));
        QCOMPARE(pg::maskSecrets(QStringLiteral("p@ss"), QStringLiteral("/file.db")), QStringLiteral("p@ss"));
    }

    // What libpq is given to connect: the URI's keywords in their order,
    // the program's defaults for what it leaves out, UTF-8 whatever it says,
    // and the session's settings after its own options.
    void passesThePartsOn_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("params");
        const QString defaults = QStringLiteral("keepalives=1;keepalives_idle=60;keepalives_interval=10;"
                                                "keepalives_count=6;client_encoding=UTF8");
        QTest::newRow("one_host") << "postgresql://u:p@h:5433/d?application_name=it%27s%3B" << ""
                                  << "user=u;password=p;dbname=d;host=h;port=5433;application_name=it's;;"
                                     "connect_timeout=10;"
                                         + defaults;
        QTest::newRow("several_hosts") << "postgresql://h1:1,h2:2/d?connect_timeout=3" << ""
                                       << "connect_timeout=3;dbname=d;host=h1,h2;port=1,2;" + defaults;
        QTest::newRow("own_keepalives_and_encoding")
            << "postgresql://h/d?keepalives_count=2&keepalives=0&client_encoding=LATIN1" << ""
            << "dbname=d;host=h;keepalives=0;keepalives_count=2;connect_timeout=10;keepalives_idle=60;"
               "keepalives_interval=10;client_encoding=UTF8";
        QTest::newRow("settings_after_own_options")
            << "postgresql:///d?options=-csearch_path%3Ds" << "-c lock_timeout=5000"
            << "dbname=d;connect_timeout=10;" + defaults + ";options=-csearch_path=s -c lock_timeout=5000";
    }

    void passesThePartsOn()
    {
        QFETCH(QString, uri);
        QFETCH(QString, settings);
        QFETCH(QString, params);
        QStringList given;
        for (const auto &[keyword, value] : pg::connectParams(pg::parseUri(uri), settings))
            given.append(QString::fromUtf8(keyword + '=' + value));
        QCOMPARE(given.join(u';'), params);
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
};

QTEST_GUILESS_MAIN(TestPgConnInfo)
#include "tst_pgconninfo.moc"
