// The SQLite cursor: the values the program has always read, and their
// AsString bytes, for every kind of value; and
// the query object reading through it gives the same texts as before, ends
// its read on the database at the end of the rows and reports engine
// failures met while stepping.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/connectionstring.h"
#include "db/sqlite/sqlitecursor.h"
#include "db/valuetext.h"
#include "base/failure.h"
#include "tests/support/otherconnection.h"
#include "tests/support/valuesignature.h"

#include "base/ansicodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <iterator>
#include <string_view>

using namespace std::literals;

using rux::Failure;
using rux::SqliteCursor;

Q_DECLARE_METATYPE(QChar)

namespace {

// Every kind of value the engine stores, one per row, and the value the
// program has always read for it: its type and its value exactly (the
// texts were stored as Latin-1 read from UTF-8 bytes).
const struct
{
    const char *sql;
    std::string_view signature;
} kValues[] = {
    {"0", "qlonglong 0"sv},
    {"1", "qlonglong 1"sv},
    {"-1", "qlonglong -1"sv},
    {"42", "qlonglong 42"sv},
    {"9223372036854775807", "qlonglong 9223372036854775807"sv},
    {"-9223372036854775808", "qlonglong -9223372036854775808"sv},
    {"1.5", "double 1.5"sv},
    {"-0.0", "double -0"sv},
    {"0.1 + 0.2", "double 0.30000000000000004"sv},
    {"1e300", "double 1.0000000000000001e+300"sv},
    {"-1e-300", "double -1e-300"sv},
    {"1e-7", "double 9.9999999999999995e-08"sv},
    {"123456789012345678.0", "double 1.2345678901234568e+17"sv},
    {"100000000000000.0", "double 100000000000000"sv},
    {"1e15", "double 1000000000000000"sv},
    {"9e999", "double inf"sv},
    {"-9e999", "double -inf"sv},
    {"2.5", "double 2.5"sv},
    {"0.0", "double 0"sv},
    {"null", "QString null"sv},
    {"''", "QString "sv},
    {"'plain text'", "QString plain text"sv},
    {"' padded  '", "QString  padded  "sv},
    {"'Grüße'", "QString GrÃ¼Ãe"sv},
    {"'€ 5'", "QString â¬ 5"sv},
    {"'日本'", "QString æ¥æ¬"sv},
    {"'😀'", "QString ð"sv},
    {"'a' || char(0) || 'b'", "QString a\x00" "b"sv},
    {"char(9) || 'tab' || char(13, 10)", "QString \ttab\r\n"sv},
    {"'TRUE'", "QString TRUE"sv},
    {"'false'", "QString false"sv},
    {"'1'", "QString 1"sv},
    {"'0'", "QString 0"sv},
    {"'yes'", "QString yes"sv},
    {"'Wahr'", "QString Wahr"sv},
    {"x''", "QByteArray "sv},
    {"x'00ff41'", "QByteArray 00ff41"sv},
    {"x'819d8f'", "QByteArray 819d8f"sv},
    {"x'e282ac'", "QByteArray e282ac"sv},
    {"cast('12' as blob)", "QByteArray 3132"sv},
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
        for (const auto &value : kValues)
            statements << QStringLiteral("insert into v values(%1, %2)").arg(++k).arg(QLatin1String(value.sql));
        statements << QStringLiteral("create table big(i integer primary key, r real, s text)")
                   << QStringLiteral("insert into big with recursive c(n) as (select 1 union all "
                                     "select n + 1 from c where n < 3000) "
                                     "select n, n * 0.25 - 7, case when n % 3 = 0 then null "
                                     "else 'row ' || n end from c");
        rux::test::runSql(m_db, statements);
    }

    void valuesAndTexts_data()
    {
        QTest::addColumn<bool>("yesNo");
        QTest::addColumn<QChar>("decimalPoint");
        QTest::newRow("plain, point") << false << QChar(u'.');
        QTest::newRow("plain, comma") << false << QChar(u',');
        QTest::newRow("yes/no, point") << true << QChar(u'.');
        QTest::newRow("yes/no, comma") << true << QChar(u',');
    }

    void valuesAndTexts()
    {
        QFETCH(bool, yesNo);
        QFETCH(QChar, decimalPoint);

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(m_db).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "select x from v order by k", -1, &stmt, nullptr), SQLITE_OK);
        SqliteCursor cursor(db, stmt);
        int row = 0;
        while (cursor.step()) {
            const QVariant value = cursor.value(0);
            const QByteArray context = QByteArray("value ") + kValues[row].sql;
            const std::string_view want = kValues[row].signature;
            QVERIFY2(rux::test::valueSignature(value) == QString::fromUtf8(want.data(), qsizetype(want.size())),
                     context.constData());

            QByteArray bytes("before|");
            cursor.appendAnsiText(0, yesNo, decimalPoint, bytes);
            const QByteArray text = QByteArray("before|")
                + rux::encodeAnsi(rux::valueAsString(value, yesNo, decimalPoint));
            QVERIFY2(bytes == text, (context + ": " + bytes.toHex(' ') + " instead of "
                                     + text.toHex(' ')).constData());
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
    void dataChangeFailuresInTheEnginesWords_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("unique") << QStringLiteral("insert into w values(1, 5, 'again')");
        QTest::newRow("check") << QStringLiteral("update w set n = 500 where k = 1");
        QTest::newRow("not null") << QStringLiteral("insert into w values(7, 1, null)");
        QTest::newRow("trigger") << QStringLiteral("delete from w");
        QTest::newRow("half done") << QStringLiteral("insert into w select k + 10, n * 17, s from w");
    }

    void dataChangeFailuresInTheEnginesWords()
    {
        QFETCH(QString, statement);
        const QString db = m_dir.filePath(QStringLiteral("w_%1.db").arg(QTest::currentDataTag()).replace(u' ', u'_'));
        rux::test::runSql(db, {
            QStringLiteral("create table w(k integer primary key, n integer check (n < 100), s text not null)"),
            QStringLiteral("insert into w values(1, 5, 'one'), (2, 6, 'two')"),
            QStringLiteral("create trigger keep before delete on w begin "
                           "select raise(abort, 'rows of w stay'); end"),
        });

        // The engine's own text, from a connection of the engine's library.
        QString engineText;
        {
            sqlite3 *raw = nullptr;
            QCOMPARE(sqlite3_open_v2(QFile::encodeName(db).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr),
                     SQLITE_OK);
            QVERIFY(sqlite3_exec(raw, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK);
            engineText = QString::fromUtf8(sqlite3_errmsg(raw));
            sqlite3_close(raw);
        }
        QVERIFY(!engineText.isEmpty());

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
        QCOMPARE(failure, engineText);
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
