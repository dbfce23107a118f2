// A command text holding a NUL character is refused before it reaches the
// engine: the engine would read the statement only up to the NUL and run
// what is left, an UPDATE without its WHERE, say.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/connectionstring.h"
#include "script/failure.h"
#include "tests/support/otherconnection.h"

#include <QTemporaryDir>
#include <QTest>

class TestNulStatement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusedAndNothingChanged_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("before_where") << QStringLiteral("update t set b = 'z' ") + QChar(u'\0')
                + QStringLiteral("where a = 1");
        QTest::newRow("inside_literal") << QStringLiteral("update t set b = 'z") + QChar(u'\0')
                + QStringLiteral("' where a = 1");
        QTest::newRow("at_the_end") << QStringLiteral("update t set b = 'z' where a = 1") + QChar(u'\0');
    }

    void refusedAndNothingChanged()
    {
        QFETCH(QString, sql);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString db = dir.filePath(QStringLiteral("n.db"));
        rux::test::runSql(db, {QStringLiteral("create table t (a integer, b text)"),
                                  QStringLiteral("insert into t values (1, 'x'), (2, 'y')")});
        rux::AdoConnection con(QStringLiteral("access_con"));
        con.setConnectionString(rux::buildConnectionString(db));
        rux::AdoQuery q(&con, QStringLiteral("Query1"));
        q.sqlAdd(sql);
        QString text = QStringLiteral("<no failure>");
        try {
            q.ExecSQL();
        } catch (const rux::Failure &f) {
            text = f.text();
        }
        QCOMPARE(text, QStringLiteral("The command text holds a NUL character."));
        con.Close();
        QCOMPARE(rux::test::sqlValue(db, QStringLiteral("select group_concat(b, ',') from t")).toString(),
                 QStringLiteral("x,y"));
    }
};

QTEST_GUILESS_MAIN(TestNulStatement)
#include "tst_nulstatement.moc"
