// The direct SQLite cursor against the Qt driver it stands in for: the same
// values, and exactly the same AsString bytes, for every kind of value; and
// the query object reading through it gives the same texts as before, ends
// its read on the database at the end of the rows and reports engine
// failures met while stepping.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/connectionstring.h"
#include "db/sqlite/sqlitecursor.h"
#include "db/valuetext.h"
#include "script/failure.h"
#include "tests/support/otherconnection.h"

#include "script/ansicodec.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <cmath>
#include <iterator>

using rux::Failure;
using rux::SqliteCursor;

Q_DECLARE_METATYPE(QChar)

namespace {

// Every kind of value the engine stores, one per row.
const char *const kValues[] = {
    "0", "1", "-1", "42", "9223372036854775807", "-9223372036854775808", "1.5", "-0.0",
    "0.1 + 0.2", "1e300", "-1e-300", "1e-7", "123456789012345678.0", "100000000000000.0",
    "1e15", "9e999", "-9e999", "2.5", "0.0", "null", "''", "'plain text'", "' padded  '",
    "'Grüße'", "'€ 5'", "'日本'", "'😀'", "'a' || char(0) || 'b'", "char(9) || 'tab' || char(13, 10)",
    "'TRUE'", "'false'", "'1'", "'0'", "'yes'", "'Wahr'", "x''", "x'00ff41'", "x'819d8f'",
    "x'e282ac'", "cast('12' as blob)",
};

} // namespace

class TestSqliteCursor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_db;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("c.db"));
        QStringList statements{QStringLiteral("create table v(k integer primary key, x)")};
        int k = 0;
        for (const char *value : kValues)
            statements << QStringLiteral("insert into v values(%1, %2)").arg(++k).arg(QLatin1String(value));
        statements << QStringLiteral("create table big(i integer primary key, r real, s text)")
                   << QStringLiteral("insert into big with recursive c(n) as (select 1 union all "
                                     "select n + 1 from c where n < 3000) "
                                     "select n, n * 0.25 - 7, case when n % 3 = 0 then null "
                                     "else 'row ' || n end from c");
        rux::test::runSql(m_db, statements);
    }

    void sameValuesAndTextsAsTheDriver_data()
    {
        QTest::addColumn<bool>("yesNo");
        QTest::addColumn<QChar>("decimalPoint");
        QTest::newRow("plain, point") << false << QChar(u'.');
        QTest::newRow("plain, comma") << false << QChar(u',');
        QTest::newRow("yes/no, point") << true << QChar(u'.');
        QTest::newRow("yes/no, comma") << true << QChar(u',');
    }

    void sameValuesAndTextsAsTheDriver()
    {
        QFETCH(bool, yesNo);
        QFETCH(QChar, decimalPoint);

        // The driver's values of every row.
        QList<QVariant> driverValues;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("drv"));
            db.setDatabaseName(m_db);
            QVERIFY(db.open());
            {
                QSqlQuery q(db);
                q.setForwardOnly(true);
                QVERIFY(q.exec(QStringLiteral("select x from v order by k")));
                while (q.next())
                    driverValues << q.value(0);
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("drv"));
        QCOMPARE(driverValues.size(), qsizetype(std::size(kValues)));

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(m_db).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "select x from v order by k", -1, &stmt, nullptr), SQLITE_OK);
        SqliteCursor cursor(db, stmt);
        int row = 0;
        while (cursor.step()) {
            const QVariant expected = driverValues.value(row);
            const QVariant value = cursor.value(0);
            const QByteArray context = QByteArray("value ") + kValues[row];
            QVERIFY2(value.metaType() == expected.metaType(), context.constData());
            QVERIFY2(value.isNull() == expected.isNull(), context.constData());
            QVERIFY2(value == expected
                         || (value.typeId() == QMetaType::Double && std::isnan(value.toDouble())
                             && std::isnan(expected.toDouble())),
                     context.constData());

            QByteArray bytes("before|");
            cursor.appendAnsiText(0, yesNo, decimalPoint, bytes);
            const QByteArray want = QByteArray("before|")
                + rux::encodeAnsi(rux::valueAsString(expected, yesNo, decimalPoint));
            QVERIFY2(bytes == want, (context + ": " + bytes.toHex(' ') + " instead of "
                                     + want.toHex(' ')).constData());
            ++row;
        }
        QCOMPARE(row, int(std::size(kValues)));
        // The end of the rows gives the read up; a step after it runs the
        // statement again from its first row.
        QVERIFY(sqlite3_stmt_busy(stmt) == 0);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }

    void queryTextsThroughTheCursor()
    {
        rux::AdoConnection con(QStringLiteral("access_con"));
        con.setConnectionString(rux::buildConnectionString(m_db));
        rux::AdoQuery q(&con, QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("select i, r, s from big order by i"));
        q.Open();
        // The grid holds the first rows; the rest come from the cursor.
        q.fetchMore(10);
        int rows = 0;
        bool same = true;
        bool sameLines = true;
        for (q.First(); !q.Eof(); q.Next()) {
            QByteArray line;
            for (int f = 1; f <= q.fieldCount(); ++f) {
                QByteArray bytes;
                q.appendAnsiText(f, bytes);
                same = same && bytes == rux::encodeAnsi(q.asString(f));
                line += rux::encodeAnsi(q.asString(f)) + "    ";
            }
            // Fields in any order and repeated, as a caller may ask for them.
            QByteArray fields;
            q.appendFieldsAnsi({3, 1, 2, 1}, "    ", fields);
            sameLines = sameLines
                && fields == rux::encodeAnsi(q.asString(3) + QStringLiteral("    ") + q.asString(1)
                                             + QStringLiteral("    ") + q.asString(2)
                                             + QStringLiteral("    ") + q.asString(1)
                                             + QStringLiteral("    "));
            QByteArray all;
            q.appendFieldsAnsi({1, 2, 3}, "    ", all);
            sameLines = sameLines && all == line;
            if (rows == 2999) {
                QCOMPARE(q.asString(1), QStringLiteral("3000"));
                QCOMPARE(q.asString(2), QStringLiteral("743"));
                QCOMPARE(q.asString(3), QString());
            }
            ++rows;
        }
        QVERIFY(same);
        QVERIFY(sameLines);
        QCOMPARE(rows, 3000);
        // Past the end every field reads empty and appends nothing.
        QByteArray tail;
        q.appendAnsiText(1, tail);
        QVERIFY(tail.isEmpty());
        q.appendFieldsAnsi({1, 3}, "    ", tail);
        QCOMPARE(tail, QByteArray("        "));

        // All rows read: the query holds no read on the file, so another
        // program can write at once.
        QVERIFY(q.isActive());
        rux::test::runSql(m_db, {QStringLiteral("insert into v values(1000, 'written meanwhile')"),
                                    QStringLiteral("delete from v where k = 1000")});

        // The grid goes on after the cursor reached the end, in order.
        while (q.canFetchMore())
            q.fetchMore(256);
        QCOMPARE(q.fetchedRowCount(), 3000);
        QCOMPARE(q.value(10, 0).toInt(), 11);
        QCOMPARE(q.value(2999, 0).toInt(), 3000);
    }

    // Statements without result columns run on the engine directly; their
    // failures while running carry the same engine text as the driver's,
    // and a failed statement changes nothing.
    void dataChangeFailuresAsTheDriver_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("unique") << QStringLiteral("insert into w values(1, 5, 'again')");
        QTest::newRow("check") << QStringLiteral("update w set n = 500 where k = 1");
        QTest::newRow("not null") << QStringLiteral("insert into w values(7, 1, null)");
        QTest::newRow("trigger") << QStringLiteral("delete from w");
        QTest::newRow("half done") << QStringLiteral("insert into w select k + 10, n * 17, s from w");
    }

    void dataChangeFailuresAsTheDriver()
    {
        QFETCH(QString, statement);
        const QString db = m_dir.filePath(QStringLiteral("w_%1.db").arg(QTest::currentDataTag()).replace(u' ', u'_'));
        rux::test::runSql(db, {
            QStringLiteral("create table w(k integer primary key, n integer check (n < 100), s text not null)"),
            QStringLiteral("insert into w values(1, 5, 'one'), (2, 6, 'two')"),
            QStringLiteral("create trigger keep before delete on w begin "
                           "select raise(abort, 'rows of w stay'); end"),
        });

        QString driverText;
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("wdrv"));
            d.setDatabaseName(db);
            QVERIFY(d.open());
            {
                QSqlQuery q(d);
                QVERIFY(!q.exec(statement));
                driverText = q.lastError().databaseText();
            }
            d.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("wdrv"));
        QVERIFY(!driverText.isEmpty());

        rux::AdoConnection con(QStringLiteral("access_con"));
        con.setConnectionString(rux::buildConnectionString(db));
        rux::AdoQuery q(&con, QStringLiteral("Query1"));
        q.sqlAdd(statement);
        QString failure;
        try {
            q.ExecSQL();
        } catch (const Failure &f) {
            failure = f.text();
        }
        QCOMPARE(failure, driverText);
        QCOMPARE(rux::test::sqlValue(db, QStringLiteral("select group_concat(k || n || s) from w")).toString(),
                 QStringLiteral("15one,26two"));

        // The connection goes on: a sound change runs and stays.
        q.sqlClear();
        q.sqlAdd(QStringLiteral("insert into w values(3, 7, 'three')"));
        q.ExecSQL();
        QCOMPARE(rux::test::sqlValue(db, QStringLiteral("select count(*) from w")).toInt(), 3);
    }

    void engineFailureWhileStepping()
    {
        rux::AdoConnection con(QStringLiteral("access_con"));
        con.setConnectionString(rux::buildConnectionString(m_db));
        rux::AdoQuery q(&con, QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("select case when i < 5 then i else abs(-9223372036854775807 - 1) end "
                                "from big order by i"));
        q.Open();
        QString failure;
        int rows = 0;
        try {
            for (q.First(); !q.Eof(); q.Next()) {
                QByteArray bytes;
                q.appendAnsiText(1, bytes);
                ++rows;
            }
        } catch (const Failure &f) {
            failure = f.text();
        }
        QCOMPARE(rows, 4);
        QCOMPARE(failure, QStringLiteral("integer overflow"));
        // The failed statement holds no read: a table can be dropped.
        rux::AdoQuery other(&con, QStringLiteral("Query2"));
        other.sqlAdd(QStringLiteral("create table gone(x)"));
        QVERIFY_THROWS_EXCEPTION(Failure, other.Open());
        other.sqlClear();
        other.sqlAdd(QStringLiteral("drop table gone"));
        other.ExecSQL();
    }
};

QTEST_GUILESS_MAIN(TestSqliteCursor)
#include "tst_sqlitecursor.moc"
