// Access files behind the connection, the query and the table: the engine
// chosen by the file's header, every user table read with its names, types,
// keys and values, and the read-only connection refusing every change
// while the file stays as it was. Runs on the shared fixture files; skips
// when they are absent.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/adotable.h"
#include "db/connectionstring.h"
#include "db/access/mdbimport.h"
#include "base/failure.h"
#include "tests/support/accessfixture.h"
#include "tests/support/failureof.h"
#include "tests/support/processrun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

using rux::AdoConnection;
using rux::AdoQuery;
using rux::AdoTable;
using rux::Failure;
using namespace rux::test;

namespace {

std::unique_ptr<AdoConnection> connectionTo(const QString &file)
{
    auto con = std::make_unique<AdoConnection>(QStringLiteral("access_con"));
    con->setConnectionString(rux::buildConnectionString(file));
    return con;
}

// The rows of a query through Query1, each row's AsString texts joined by
// "|"; the failure text when it fails.
QStringList rowsOf(AdoConnection *con, const QString &sql)
{
    AdoQuery q(con, QStringLiteral("Query1"));
    q.sqlAdd(sql);
    QStringList rows;
    try {
        q.Open();
        for (q.First(); !q.Eof(); q.Next()) {
            QStringList fields;
            for (int f = 1; f <= q.fieldCount(); ++f)
                fields.append(q.asString(f));
            rows.append(fields.join(u'|'));
        }
    } catch (const Failure &failure) {
        return {QStringLiteral("<failed: %1>").arg(failure.text())};
    }
    return rows;
}

QString firstField(AdoConnection *con, const QString &sql)
{
    const QStringList rows = rowsOf(con, sql);
    return rows.isEmpty() ? QStringLiteral("<no rows>") : rows.first();
}

// Runs one of mdbtools' programs; its standard output, or a null array.
QByteArray toolOutput(const QString &program, const QStringList &arguments)
{
    rux::test::ProcessRun run;
    run.program = program;
    run.arguments = arguments;
    run.environment = QProcessEnvironment::systemEnvironment();
    run.timeoutMs = 60000;
    const rux::test::ProcessOutcome o = rux::test::runProcess(run);
    if (!o.finished || o.exitCode != 0)
        return QByteArray();
    QByteArray out = o.outBytes;
    if (out.isNull())
        out = QByteArray("");
    return out;
}

bool sameField(const QString &ours, const QString &theirs)
{
    if (ours == theirs)
        return true;
    // Numbers: libmdb prints a single with 8 digits (0.15000001) and a
    // currency with 4 decimals (32.3800); the copy holds 0.15 and 32.38.
    bool a = false;
    bool b = false;
    const double x = ours.toDouble(&a);
    const double y = theirs.toDouble(&b);
    return a && b && std::fabs(x - y) <= 1e-7 * std::max(1.0, std::fabs(y));
}

} // namespace

class TestAccessFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_nwind;
    // The indexes SQLite makes for the text primary keys of the copy.
    QString m_autoIndexes;

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(fixture(QStringLiteral("nwind.mdb"))).isFile())
            QSKIP("the shared fixtures (" RUX_SHARED_DIR "/fixtures) are absent");
        QVERIFY(m_dir.isValid());
        m_nwind = fixture(QStringLiteral("nwind.mdb"));
        auto con = connectionTo(m_nwind);
        m_autoIndexes = firstField(con.get(), QStringLiteral("select count(*) from sqlite_master where type = 'index'"));
    }

    void headerDecidesTheEngine_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("access");
        QTest::newRow("jet3_mdb") << fixture(QStringLiteral("nwind.mdb")) << true;
        QTest::newRow("jet4_mdb") << fixture(QStringLiteral("DateTestDatabase.mdb")) << true;
        QTest::newRow("ace_accdb") << fixture(QStringLiteral("ASampleDatabase.accdb")) << true;
        QTest::newRow("jet_named_db") << QStringLiteral("copy:results.db") << true;
        QTest::newRow("sqlite_named_mdb") << QStringLiteral("sqlite:results.mdb") << false;
        QTest::newRow("text_at_offset_0") << QStringLiteral("bytes:Standard Jet DB    ") << false;
        QTest::newRow("shorter_than_header") << QStringLiteral("bytes:\x01\x01\x01\x01Standard Jet D")
                                             << false;
        QTest::newRow("missing") << QStringLiteral("/nonexistent/x.mdb") << false;
    }

    void headerDecidesTheEngine()
    {
        QFETCH(QString, file);
        QFETCH(bool, access);
        if (file.startsWith(QLatin1String("copy:"))) {
            const QString target = m_dir.filePath(file.mid(5));
            QFile::remove(target);
            QVERIFY(QFile::copy(m_nwind, target));
            file = target;
        } else if (file.startsWith(QLatin1String("sqlite:"))) {
            const QString target = m_dir.filePath(file.mid(7));
            QFile::remove(target);
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(target.toUtf8().constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "create table t(x); insert into t values (7)", nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(db);
            file = target;
        } else if (file.startsWith(QLatin1String("bytes:"))) {
            const QString target = m_dir.filePath(QStringLiteral("bytes.mdb"));
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(file.mid(6).toLatin1());
            f.close();
            file = target;
        }
        QCOMPARE(rux::isAccessFile(file), access);
        if (!QFileInfo(file).isFile())
            return;
        auto con = connectionTo(file);
        const QString failure = failureOf([&]() { con->Open(); });
        if (access) {
            QCOMPARE(failure, QStringLiteral("<no failure>"));
            QVERIFY(con->engine() == AdoConnection::Engine::Access);
        } else if (failure == QLatin1String("<no failure>")) {
            QVERIFY(con->engine() == AdoConnection::Engine::Sqlite);
        } else {
            QCOMPARE(failure, QStringLiteral("Unrecognized database format '%1'.").arg(file));
        }
    }

    void engineKindFollowsTheOpenFile()
    {
        auto con = connectionTo(m_nwind);
        con->Open();
        QVERIFY(con->engine() == AdoConnection::Engine::Access);
        QVERIFY(!con->readOnlyText().isEmpty());
        con->Close();
        QVERIFY(con->engine() == AdoConnection::Engine::Sqlite);
        QVERIFY(con->readOnlyText().isEmpty());

        // The same connection then opens an SQLite file read-write.
        const QString db = m_dir.filePath(QStringLiteral("after.db"));
        sqlite3 *h = nullptr;
        QCOMPARE(sqlite3_open(db.toUtf8().constData(), &h), SQLITE_OK);
        QCOMPARE(sqlite3_exec(h, "create table t(x)", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(h);
        con->setConnectionString(rux::buildConnectionString(db));
        con->Open();
        QVERIFY(con->engine() == AdoConnection::Engine::Sqlite);
        AdoQuery q(con.get(), QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("insert into t values (1)"));
        q.ExecSQL();
        QCOMPARE(firstField(con.get(), QStringLiteral("select count(*) from t")), QStringLiteral("1"));
    }

    void northwindTablesAreListed()
    {
        auto con = connectionTo(m_nwind);
        QStringList tables = rowsOf(con.get(), QStringLiteral(
            "select name from sqlite_master where type = 'table' order by name"));
        const QStringList expected = {
            QStringLiteral("Categories"), QStringLiteral("Customers"), QStringLiteral("Employees"),
            QStringLiteral("Order Details"), QStringLiteral("Orders"), QStringLiteral("Products"),
            QStringLiteral("Shippers"), QStringLiteral("Suppliers"), QStringLiteral("Umsätze"),
        };
        QCOMPARE(tables, expected);

        // The same user tables mdbtools lists.
        const QByteArray listed = toolOutput(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), m_nwind});
        QVERIFY2(!listed.isNull(), "mdb-tables (Debian mdbtools) did not run");
        QStringList theirs = QString::fromUtf8(listed).split(u'\n', Qt::SkipEmptyParts);
        theirs.sort();
        tables.sort();
        QCOMPARE(tables, theirs);
    }

    // Every table, row for row and field for field, as mdb-export gives
    // it (dates in the same format, blobs in hex).
    void tablesMatchMdbExport_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("keyColumns");
        QTest::addColumn<int>("rows");
        QTest::newRow("Orders") << "Orders" << 1 << 830;
        QTest::newRow("Order Details") << "Order Details" << 2 << 2155;
        QTest::newRow("Customers") << "Customers" << 1 << 91;
        QTest::newRow("Products") << "Products" << 1 << 77;
        QTest::newRow("Shippers") << "Shippers" << 1 << 3;
        QTest::newRow("Categories") << "Categories" << 1 << 8;
        QTest::newRow("Employees") << "Employees" << 1 << 9;
        QTest::newRow("Suppliers") << "Suppliers" << 1 << 29;
        QTest::newRow("Umsätze") << "Umsätze" << 1 << 830;
    }

    void tablesMatchMdbExport()
    {
        QFETCH(QString, table);
        QFETCH(int, keyColumns);
        QFETCH(int, rows);
        const QByteArray exported = toolOutput(QStringLiteral("mdb-export"), {
            QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), QStringLiteral("\x1f"),
            QStringLiteral("-R"), QStringLiteral("\x1e"), QStringLiteral("-b"), QStringLiteral("hex"),
            QStringLiteral("-B"), QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), m_nwind, table});
        QVERIFY2(!exported.isNull(), "mdb-export (Debian mdbtools) did not run");
        QStringList theirs = QString::fromUtf8(exported).split(u'\x1e', Qt::SkipEmptyParts);

        // Ours: booleans as the words mdb-export uses, blobs in hex.
        auto con = connectionTo(m_nwind);
        con->Open();
        const QStringList info = rowsOf(con.get(), QStringLiteral("select name, type from pragma_table_info('%1')")
                                                      .arg(QString(table).replace(u'\'', QStringLiteral("''"))));
        QVERIFY(!info.isEmpty() && !info.first().startsWith(QLatin1String("<failed")));
        QStringList columns;
        for (const QString &column : info) {
            const QString name = QLatin1Char('"') + column.section(u'|', 0, -2) + QLatin1Char('"');
            const QString type = column.section(u'|', -1);
            if (type == QLatin1String("BLOB"))
                columns.append(QStringLiteral("hex(%1)").arg(name));
            else if (type == QLatin1String("BOOLEAN"))
                columns.append(QStringLiteral("case when %1 then 'TRUE' else 'FALSE' end").arg(name));
            else
                columns.append(name);
        }
        QStringList ours = rowsOf(con.get(), QStringLiteral("select %1 from \"%2\"")
                                                 .arg(columns.join(u','), table));
        QCOMPARE(ours.size(), rows);
        QCOMPARE(theirs.size(), rows);

        auto key = [keyColumns](const QString &row, QChar separator) {
            return row.split(separator).mid(0, keyColumns).join(u'|');
        };
        std::sort(ours.begin(), ours.end(), [&](const QString &a, const QString &b) {
            return key(a, u'|') < key(b, u'|');
        });
        std::sort(theirs.begin(), theirs.end(), [&](const QString &a, const QString &b) {
            return key(a, u'\x1f') < key(b, u'\x1f');
        });
        for (int r = 0; r < rows; ++r) {
            // Our fields may hold "|"; theirs are split at the unit separator.
            const QStringList t = theirs[r].split(u'\x1f');
            QString joined = t.join(u'|');
            if (ours[r] == joined)
                continue;
            const QStringList o = ours[r].split(u'|');
            QCOMPARE(o.size(), t.size());
            for (int f = 0; f < t.size(); ++f)
                QVERIFY2(sameField(o[f], t[f]), qPrintable(QStringLiteral("row %1 field %2: ours '%3', theirs '%4'")
                                                              .arg(r).arg(f).arg(o[f].left(80), t[f].left(80))));
        }
    }

    void columnTypesAndKeys_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("columns");
        QTest::newRow("Order Details") << "Order Details"
                                       << "OrderID INTEGER 1,ProductID INTEGER 2,UnitPrice REAL 0,"
                                          "Quantity INTEGER 0,Discount REAL 0";
        QTest::newRow("Products") << "Products"
                                  << "ProductID INTEGER 1,ProductName TEXT 0,SupplierID INTEGER 0,"
                                     "CategoryID INTEGER 0,QuantityPerUnit TEXT 0,UnitPrice REAL 0,"
                                     "UnitsInStock INTEGER 0,UnitsOnOrder INTEGER 0,"
                                     "ReorderLevel INTEGER 0,Discontinued BOOLEAN 0";
        QTest::newRow("Categories") << "Categories"
                                    << "CategoryID INTEGER 1,CategoryName TEXT 0,Description TEXT 0,"
                                       "Picture BLOB 0";
        QTest::newRow("Customers_text_key") << "Customers"
                                            << "CustomerID TEXT 1,CompanyName TEXT 0,ContactName TEXT 0,"
                                               "ContactTitle TEXT 0,Address TEXT 0,City TEXT 0,"
                                               "Region TEXT 0,PostalCode TEXT 0,Country TEXT 0,"
                                               "Phone TEXT 0,Fax TEXT 0";
    }

    void columnTypesAndKeys()
    {
        QFETCH(QString, table);
        QFETCH(QString, columns);
        auto con = connectionTo(m_nwind);
        const QStringList rows = rowsOf(con.get(), QStringLiteral(
            "select name || ' ' || type || ' ' || pk from pragma_table_info('%1')").arg(table));
        QCOMPARE(rows.join(u','), columns);
    }

    void fieldTexts_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("text");
        QTest::newRow("yes") << "select Discontinued from Products where ProductID = 5" << "Wahr";
        QTest::newRow("no") << "select Discontinued from Products where ProductID = 1" << "Falsch";
        QTest::newRow("currency") << "select Freight from Orders where OrderID = 10248" << "32.38";
        QTest::newRow("currency_whole") << "select UnitPrice from [Order Details] where OrderID = 10248 "
                                           "and ProductID = 11" << "14";
        QTest::newRow("currency_is_real") << "select typeof(Freight) from Orders where OrderID = 10248"
                                          << "real";
        QTest::newRow("currency_divides") << "select UnitPrice / 4 from [Order Details] where OrderID = 10248 "
                                             "and ProductID = 11" << "3.5";
        QTest::newRow("single") << "select Discount from [Order Details] where OrderID = 10250 "
                                   "and ProductID = 51" << "0.15";
        QTest::newRow("integer") << "select Quantity from [Order Details] where OrderID = 10248 "
                                    "and ProductID = 11" << "12";
        QTest::newRow("date") << "select OrderDate from Orders where OrderID = 10248" << "1994-08-04 00:00:00";
        QTest::newRow("date_compares_as_text") << "select count(*) from Orders where OrderDate < '1994-08-06'"
                                               << "2";
        QTest::newRow("null_text") << "select ShipRegion is null from Orders where OrderID = 10248" << "1";
        QTest::newRow("null_as_string") << "select ShipRegion from Orders where OrderID = 10248" << "";
        QTest::newRow("non_ascii_text") << "select ShipCity from Orders where OrderID = 10249" << "Münster";
        QTest::newRow("text_with_cr_lf") << "select hex(ShipAddress) from Orders where OrderID = 10310"
                                         << "3839204A6566666572736F6E205761790D0A53756974652032";
        QTest::newRow("memo") << "select Description from Categories where CategoryID = 1"
                              << "Soft drinks, coffees, teas, beers, and ales";
        QTest::newRow("ole_blob") << "select typeof(Picture) || ' ' || length(Picture) from Categories "
                                     "where CategoryID = 1" << "blob 10746";
    }

    void fieldTexts()
    {
        QFETCH(QString, sql);
        QFETCH(QString, text);
        auto con = connectionTo(m_nwind);
        QCOMPARE(firstField(con.get(), sql), text);
    }

    // Names keep their blanks and non-ASCII letters, in queries and in the
    // table object (whose bracket rule turns "Order Details" into
    // "[Order Details]").
    void namesWithBlanksAndUmlauts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("firstColumn");
        QTest::newRow("Order Details") << "Order Details" << 2155 << "OrderID";
        QTest::newRow("[Order Details]") << "[Order Details]" << 2155 << "OrderID";
        QTest::newRow("Umsätze") << "Umsätze" << 830 << "OrderID";
        QTest::newRow("\"Umsätze\"") << "\"Umsätze\"" << 830 << "OrderID";
    }

    void namesWithBlanksAndUmlauts()
    {
        QFETCH(QString, name);
        QFETCH(int, rows);
        QFETCH(QString, firstColumn);
        auto con = connectionTo(m_nwind);
        const QString sqlName = name.contains(u' ') && !name.startsWith(u'[')
            ? u'[' + name + u']' : name;
        QCOMPARE(firstField(con.get(), QStringLiteral("select count(*) from %1").arg(sqlName)),
                 QString::number(rows));

        AdoTable table(con.get(), QStringLiteral("ADOTable1"));
        table.setTableName(name);
        table.Open();
        QVERIFY(table.active());
        QCOMPARE(table.columnName(0), firstColumn);
        while (table.canFetchMore())
            table.fetchMore(1000);
        QCOMPARE(table.fetchedRowCount(), rows);
        QVERIFY(table.canModify()); // the grid lets the user try; posting fails
    }

    // libmdb converts text to the charset named by MDB_ICONV; the copy is
    // UTF-8 whatever that says.
    void environmentCharsetDoesNotChangeNames()
    {
        const QByteArray saved = qgetenv("MDB_ICONV");
        const bool had = qEnvironmentVariableIsSet("MDB_ICONV");
        qputenv("MDB_ICONV", QByteArrayLiteral("ISO-8859-1"));
        auto con = connectionTo(m_nwind);
        const QString count = firstField(con.get(), QStringLiteral("select count(*) from Umsätze"));
        const QString city = firstField(con.get(), QStringLiteral("select ShipCity from Orders where OrderID = 10249"));
        const QByteArray after = qgetenv("MDB_ICONV");
        if (had)
            qputenv("MDB_ICONV", saved);
        else
            qunsetenv("MDB_ICONV");
        QCOMPARE(count, QStringLiteral("830"));
        QCOMPARE(city, QStringLiteral("Münster"));
        QCOMPARE(after, QByteArrayLiteral("ISO-8859-1"));
    }

    void dateTestDatesAndMemos()
    {
        auto con = connectionTo(fixture(QStringLiteral("DateTestDatabase.mdb")));
        const QStringList rows = rowsOf(con.get(), QStringLiteral(
            "select IDCol, DateTimeCol, DateCol, TimeCol, replace(replace(LongTextCol, char(13), '<CR>'), "
            "char(10), '<LF>'), ShortTextCol from DateTest order by IDCol"));
        const QStringList expected = {
            QStringLiteral("1|2021-12-02 00:00:00|2021-12-02 00:00:00|2021-12-02 00:00:00|Hello|Hello"),
            QStringLiteral("2|9999-01-01 00:00:00|9999-01-01 00:00:00|9999-01-01 00:00:00|Year 9999|Year 1999"),
            QStringLiteral("3|1898-01-01 00:00:00|1899-01-01 00:00:00|1900-01-01 00:00:00|Pre-1900 years|Pre-1900 years"),
            QStringLiteral("4|0632-01-01 00:00:00|0633-01-01 00:00:00|0634-01-01 00:00:00|Pre-1000 years|Pre-1000 years"),
            QStringLiteral("5|2021-12-02 00:00:00|2021-12-02 00:00:00|2021-12-02 00:00:00|"
                           "Escaped new line \\r\\n in field|Escaped new line \\r\\n in field"),
            QStringLiteral("6|2021-12-02 00:00:00|2021-12-02 00:00:00|2021-12-02 00:00:00|"
                           "New line<CR><LF>in field|No new line"),
        };
        QCOMPARE(rows, expected);
        QCOMPARE(rowsOf(con.get(), QStringLiteral("select distinct typeof(DateTimeCol) || typeof(LongTextCol) "
                                                  "from DateTest")),
                 QStringList{QStringLiteral("texttext")});
    }

    void aceSampleOpens()
    {
        auto con = connectionTo(fixture(QStringLiteral("ASampleDatabase.accdb")));
        QCOMPARE(rowsOf(con.get(), QStringLiteral("select name from sqlite_master where type = 'table'")),
                 QStringList{QStringLiteral("Asset Items")});
        QCOMPARE(firstField(con.get(), QStringLiteral("select count(*), count(distinct [Asset No]) from [Asset Items]")),
                 QStringLiteral("65|65"));
        QCOMPARE(firstField(con.get(), QStringLiteral(
                     "select [Asset No], Make, Acquired, Cost, Warranty from [Asset Items] where [Asset No] = '30050'")),
                 QStringLiteral("30050|GEO Rocket|1997-09-02 00:00:00|1995.5|12"));
        QCOMPARE(firstField(con.get(), QStringLiteral("select group_concat(name) from pragma_table_info('Asset Items') "
                                                      "where pk > 0")),
                 QStringLiteral("Asset No"));
        QVERIFY(!con->readOnlyText().isEmpty());
    }

    // Column types beyond Jet 3's, each read as the file holds it: the
    // results of calculated columns, extended dates, text outside the Basic
    // Multilingual Plane, GUIDs, decimals with all their digits, and the
    // notes on complex columns the copy holds only keys of. A query of
    // "notes" gives the import's notes, one a line.
    void unusualColumnTypes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");
        const QString calc = QStringLiteral("calcFieldTest.accdb");
        auto all = [](const QString &column) {
            return QStringLiteral("select group_concat(v, ';') from (select %1 as v from Table1 order by ID)")
                .arg(column);
        };
        QTest::newRow("calc_text") << calc << "select LastFirst, AllNames from Table1 where ID = 2"
                                   << "Simpson, Bart|Simpson, Bart=Simpson, Bart";
        QTest::newRow("calc_long") << calc << all("LastFirstLen") << "12;13;9;10";
        QTest::newRow("calc_currency") << calc << "select MonthlySalary, SalaryTest from Table1 where ID = 1"
                                       << "83333.3333|1000000";
        QTest::newRow("calc_currency_negative") << calc << "select MonthlySalary from Table1 where ID = 2"
                                                << "-0.0833";
        QTest::newRow("calc_single") << calc << "select FloatTest from Table1 where ID = 2" << "0.0035889593";
        QTest::newRow("calc_boolean") << calc << all("IsRich || BoolTest || typeof(IsRich)")
                                      << "11integer;01integer;01integer;01integer";
        QTest::newRow("calc_boolean_declared") << calc << "select group_concat(type) from pragma_table_info('Table1') "
                                                          "where name in ('IsRich', 'BoolTest')"
                                               << "BOOLEAN,BOOLEAN";
        QTest::newRow("calc_boolean_text") << calc << "select IsRich, BoolTest from Table1 where ID = 2"
                                           << "Falsch|Wahr";
        QTest::newRow("calc_decimal") << calc << all("WeeklySalary")
                                      << "19230.7692307692;-0.0192307692307692;0;1.92307692307692";
        QTest::newRow("calc_decimal_28_digits")
            << calc << all("BigNumTest")
            << "56505085819.424791296572280180;-0.0784734499180612994241100748;0.00000000;"
               "0.0000002787019289824216980830";
        QTest::newRow("decimal_keeps_digits") << calc << "select Popularity, DecimalTest, typeof(Popularity) "
                                                         "from Table1 where ID = 4"
                                              << "102030405060.654321|102030405060.654321|text";
        QTest::newRow("decimal_declared") << calc << "select type from pragma_table_info('Table1') "
                                                     "where name = 'Popularity'"
                                          << "DECIMAL_TEXT(18,6)";
        const QString extDate = QStringLiteral("extDateTest.accdb");
        QTest::newRow("extended_date") << extDate << "select DateExt, typeof(DateExt) from Table1 where ID = 6"
                                       << "2021-06-14 22:45:12.3456789|text";
        QTest::newRow("extended_date_all")
            << extDate << all("coalesce(DateExt, 'null') || '=' || coalesce(DateExtStr, 'null')")
            << "2020-06-17 00:00:00.0000000=6/17/2020;2021-06-14 00:00:00.0000000=6/14/2021;"
               "2021-06-14 12:45:00.0000000=6/14/2021 12:45:00.0000000 PM;"
               "2021-06-14 01:45:00.0000000=6/14/2021 1:45:00.0000000 AM;null=null;"
               "2021-06-14 22:45:12.3456789=6/14/2021 10:45:12.3456789 PM;"
               "1765-06-14 12:45:00.0000000=6/14/1765 12:45:00.0000000 PM;"
               "0100-06-14 12:45:00.1234567=6/14/100 12:45:00.1234567 PM;"
               "1265-06-14 12:45:00.0000000=6/14/1265 12:45:00.0000000 PM";
        QTest::newRow("calc_date") << extDate << all("coalesce(DateNormalCalc = DateNormal, 'null')")
                                   << "1;1;1;1;null;1;1;1;1";
        QTest::newRow("calc_date_text") << extDate << "select DateNormalCalc from Table1 where ID = 6"
                                        << "2021-06-14 22:45:12";
        const QString emoticons = QStringLiteral("emoticonsTest.accdb");
        QTest::newRow("emoji") << emoticons << "select data from data where key = 128512"
                               << QStringLiteral("a\U0001F600a");
        QTest::newRow("emoji_all") << emoticons << "select count(*) from data "
                                                   "where length(data) = 3 and unicode(substr(data, 2, 1)) = key"
                                   << "80";
        QTest::newRow("guid") << "indexCodesTest.mdb" << "select data from Table13 where name = 'row0'"
                              << "{8E39276A-BCA8-4AC4-891E-49911D8438DD}";
        const QString complex = QStringLiteral("complexDataTest.accdb");
        QTest::newRow("append_only_memo") << complex << "select [append-memo-data] from Table1 where id = 'row3'"
                                          << "row3-memo-again";
        QTest::newRow("complex_notes")
            << complex << "notes"
            << "Table 'Table1': the earlier versions of append-only memo column 'append-memo-data' are not "
               "copied; it holds its latest text.\n"
               "Table 'Table1': column 'VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880' holds only the "
               "key of the memo versions.\n"
               "Table 'Table1': the values of multi-value column 'multi-value-data' are not copied; the column "
               "holds only their key.\n"
               "Table 'Table1': the files of attachment column 'attach-data' are not copied; the column holds "
               "only their key.";
        QTest::newRow("no_notes") << calc << "notes" << "";
    }

    void unusualColumnTypes()
    {
        QFETCH(QString, file);
        QFETCH(QString, query);
        QFETCH(QString, expected);
        file = fixture(file);
        if (query != QLatin1String("notes")) {
            auto con = connectionTo(file);
            QCOMPARE(firstField(con.get(), query), expected);
            return;
        }
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        rux::AccessImport result;
        const QString failure = failureOf([&]() { result = rux::importAccessFile(file, db); });
        sqlite3_close(db);
        QCOMPARE(failure, QStringLiteral("<no failure>"));
        QCOMPARE(result.notes.join(u'\n'), expected);
    }

    // The import into a temporary database on disk (the form used for large
    // files) gives the same tables.
    void importIntoTemporaryDatabase()
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open("", &db), SQLITE_OK);
        rux::AccessImport result;
        const QString failure = failureOf([&]() { result = rux::importAccessFile(m_nwind, db); });
        sqlite3_stmt *stmt = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "select (select count(*) from \"Order Details\") || ',' || "
                                        "(select count(*) from sqlite_master where type = 'table')",
                                    -1, &stmt, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        const QString counts = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        QCOMPARE(failure, QStringLiteral("<no failure>"));
        QCOMPARE(result.tables(), 9);
        QCOMPARE(result.rows(), qint64(830 + 2155 + 91 + 77 + 3 + 8 + 9 + 29 + 830));
        QCOMPARE(counts, QStringLiteral("2155,9"));
    }

    // Currency is stored as ten-thousandths; the copy reads back with all
    // four decimals up to 15 significant digits. Order 10248's freight in
    // Orders and Umsätze (32.38 in the file) is set to the largest such
    // amount and to the smallest negative one in a copy.
    void currencyKeepsFourDecimals()
    {
        QFile f(m_nwind);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        QByteArray rowStart(8, '\0');
        qToLittleEndian(qint32(10248), rowStart.data());
        qToLittleEndian(qint32(5), rowStart.data() + 4);
        QByteArray freight(8, '\0');
        qToLittleEndian(qint64(323800), freight.data());
        const qint64 amounts[] = {999999999999999LL, -1LL};
        qsizetype at = 0;
        for (const qint64 amount : amounts) {
            at = bytes.indexOf(rowStart, at);
            QVERIFY(at >= 0);
            // The fixed fields after OrderID and EmployeeID: three dates and
            // ShipVia, then Freight.
            QCOMPARE(bytes.mid(at + 36, 8), freight);
            qToLittleEndian(amount, bytes.data() + at + 36);
            at += 44;
        }
        QCOMPARE(bytes.indexOf(rowStart, at), qsizetype(-1));
        const QString file = m_dir.filePath(QStringLiteral("currency.mdb"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(bytes), bytes.size());
        out.close();

        auto con = connectionTo(file);
        QStringList values = rowsOf(con.get(), QStringLiteral(
            "select Freight from Orders where OrderID = 10248 union all "
            "select Freight from Umsätze where OrderID = 10248"));
        values.sort();
        QCOMPARE(values, (QStringList{QStringLiteral("-0.0001"), QStringLiteral("99999999999.9999")}));
    }

    // A row that breaks the key the file declares (here: Order Details row
    // (10248, 42) made a second (10248, 11) in a copy) leaves that table
    // without a key instead of failing the open; its rows are all there.
    void rowsBreakingTheKeyKeepTheTable()
    {
        QFile f(m_nwind);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        auto pair = [](qint32 order, qint32 product) {
            QByteArray b(8, '\0');
            qToLittleEndian(order, b.data());
            qToLittleEndian(product, b.data() + 4);
            return b;
        };
        const QByteArray row = pair(10248, 42);
        QCOMPARE(bytes.count(row), 1);
        bytes.replace(bytes.indexOf(row), 8, pair(10248, 11));
        const QString file = m_dir.filePath(QStringLiteral("duplicate-key.mdb"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(bytes), bytes.size());
        out.close();

        auto con = connectionTo(file);
        QCOMPARE(firstField(con.get(), QStringLiteral(
                     "select (select count(*) from [Order Details]) || ',' || "
                     "(select count(*) from [Order Details] where OrderID = 10248 and ProductID = 11) || ',' || "
                     "(select count(*) from pragma_table_info('Order Details') where pk > 0) || ',' || "
                     "(select count(*) from pragma_table_info('Orders') where pk > 0)")),
                 QStringLiteral("2155,2,0,1"));
    }

    void dataChangingStatementsFail_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("withResult");
        QTest::newRow("insert") << "insert into Shippers values (4, 'x', 'y')" << false;
        QTest::newRow("update") << "update Orders set Freight = 0" << false;
        QTest::newRow("delete") << "delete from [Order Details]" << false;
        QTest::newRow("replace") << "replace into Shippers values (1, 'x', 'y')" << false;
        QTest::newRow("with_insert") << "with x(a) as (select 9) insert into Shippers(ShipperID) select a from x"
                                     << false;
        QTest::newRow("create_table") << "create table t (x)" << false;
        QTest::newRow("create_temp_table") << "create temp table t (x)" << false;
        QTest::newRow("create_index") << "create index i on Orders (ShipCity)" << false;
        QTest::newRow("create_view") << "create view v as select 1" << false;
        QTest::newRow("drop_table") << "drop table Umsätze" << false;
        QTest::newRow("alter_table") << "alter table Shippers rename to s" << false;
        QTest::newRow("delete_returning") << "delete from Shippers returning *" << true;
    }

    void dataChangingStatementsFail()
    {
        QFETCH(QString, sql);
        QFETCH(bool, withResult);
        const QString file = m_dir.filePath(QStringLiteral("writable.mdb"));
        QFile::remove(file);
        QVERIFY(QFile::copy(m_nwind, file));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        const QByteArray before = fileHash(file);

        auto con = connectionTo(file);
        AdoQuery q(con.get(), QStringLiteral("Query1"));
        q.sqlAdd(sql);
        const QString failure = failureOf([&]() { withResult ? q.Open() : q.ExecSQL(); });
        QCOMPARE(failure, rux::test::readOnlyRefusal(file));
        QVERIFY(!q.active());
        // Nothing changed in the copy either, and reading goes on.
        QCOMPARE(firstField(con.get(), QStringLiteral("select (select count(*) from Shippers) || ',' || "
                                                      "(select count(*) from [Order Details]) || ',' || "
                                                      "(select Freight from Orders where OrderID = 10248) || ',' || "
                                                      "(select count(*) from sqlite_master where type <> 'table') || ',' || "
                                                      "(select count(*) from sqlite_master where type = 'table') || ',' || "
                                                      "(select count(*) from sqlite_temp_master)")),
                 QStringLiteral("3,2155,32.38,%1,9,0").arg(m_autoIndexes));
        con->Close();
        QCOMPARE(fileHash(file), before);
    }

    // No other database can be attached to the copy, so no script creates
    // or writes a file through this connection.
    void attachIsRefused()
    {
        auto con = connectionTo(m_nwind);
        AdoQuery q(con.get(), QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("attach '%1' as other").arg(m_dir.filePath(QStringLiteral("other.db"))));
        QVERIFY(failureOf([&]() { q.ExecSQL(); }) != QLatin1String("<no failure>"));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("other.db"))));
    }

    void postedEditsFail_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::newRow("update") << "update";
        QTest::newRow("insert") << "insert";
        QTest::newRow("delete") << "delete";
    }

    void postedEditsFail()
    {
        QFETCH(QString, edit);
        const QString file = m_dir.filePath(QStringLiteral("edited.mdb"));
        QFile::remove(file);
        QVERIFY(QFile::copy(m_nwind, file));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        const QByteArray before = fileHash(file);

        auto con = connectionTo(file);
        AdoTable table(con.get(), QStringLiteral("ADOTable1"));
        table.setTableName(QStringLiteral("Shippers"));
        table.Open();
        table.fetchMore(10);
        QCOMPARE(table.fetchedRowCount(), 3);
        const QVector<QVariant> row = {QVariant(1), QVariant(QStringLiteral("Changed")), QVariant(QStringLiteral("1"))};
        const QString failure = failureOf([&]() {
            if (edit == QLatin1String("update"))
                table.updateRow(0, row);
            else if (edit == QLatin1String("insert"))
                table.insertRow(3, {QVariant(9), QVariant(QStringLiteral("New")), QVariant()});
            else
                table.deleteRow(0);
        });
        QCOMPARE(failure, con->readOnlyText());
        QVERIFY(failure.contains(file));
        QCOMPARE(table.fetchedRowCount(), 3);
        QCOMPARE(table.displayText(0, 1), QStringLiteral("Speedy Express"));
        table.Close();
        QCOMPARE(rowsOf(con.get(), QStringLiteral("select group_concat(ShipperID || CompanyName) from Shippers")),
                 QStringList{QStringLiteral("1Speedy Express,2United Package,3Federal Shipping")});
        con->Close();
        QCOMPARE(fileHash(file), before);
    }

    void damagedFilesFailClearly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("failureStart");
        QTest::addColumn<QString>("reason");
        QFile f(fixture(QStringLiteral("nwind.mdb")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray nwind = f.readAll();
        QByteArray headerOnly(4 * 4096, '\0');
        headerOnly.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
        QTest::newRow("truncated") << nwind.left(100000) << "Could not read the Access file"
                                   << "it ends inside a page: the file was cut short";
        // The data page holding order 10248 marked as another kind of page:
        // its rows would be passed over.
        QByteArray rowStart(8, '\0');
        qToLittleEndian(qint32(10248), rowStart.data());
        qToLittleEndian(qint32(5), rowStart.data() + 4);
        QByteArray pageLost = nwind;
        const qsizetype page = pageLost.indexOf(rowStart) / 2048;
        QCOMPARE(pageLost.at(page * 2048), char(1)); // a data page
        pageLost[page * 2048] = char(0);
        QTest::newRow("data_page_lost") << pageLost << "Could not read the Access file"
                                        << "table 'Orders' gave 813 rows where its definition counts 830";
        QTest::newRow("header_then_zeros") << headerOnly << "Could not read the Access file"
                                           << "its catalog cannot be read";
        QTest::newRow("header_only") << headerOnly.left(19) << "Could not read the Access file"
                                     << "it ends inside a page: the file was cut short";
        QByteArray otherMagic = headerOnly;
        otherMagic.replace(0, 4, "xxxx");
        QTest::newRow("not_a_jet_page") << otherMagic << "Could not read the Access file"
                                        << "it is damaged or of an unknown version";
    }

    void damagedFilesFailClearly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, failureStart);
        QFETCH(QString, reason);
        const QString file = m_dir.filePath(QStringLiteral("damaged.mdb"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        auto con = connectionTo(file);
        const QString failure = failureOf([&]() { con->Open(); });
        QVERIFY2(failure.startsWith(failureStart + QStringLiteral(" '%1': ").arg(file)), qPrintable(failure));
        QVERIFY2(failure.contains(reason), qPrintable(failure));
        QVERIFY(!con->connected());
        QVERIFY(con->engine() == AdoConnection::Engine::Sqlite);
        // The connection is usable afterwards.
        con->setConnectionString(rux::buildConnectionString(m_nwind));
        QCOMPARE(firstField(con.get(), QStringLiteral("select count(*) from Shippers")), QStringLiteral("3"));
    }
};

QTEST_GUILESS_MAIN(TestAccessFiles)
#include "tst_accessfiles.moc"
