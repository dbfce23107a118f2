// Writing back: which results and tables are editable, updates, inserts and
// deletes through the row cache, refusals by the engine, and the table
// object's name rules.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/adotable.h"
#include "db/connectionstring.h"
#include "script/failure.h"
#include "tests/support/failureof.h"
#include "tests/support/otherconnection.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using rux::AdoConnection;
using rux::AdoQuery;
using rux::AdoTable;
using rux::test::failureOf;
using rux::Failure;

namespace {


QVector<QVariant> texts(std::initializer_list<const char *> values)
{
    QVector<QVariant> out;
    for (const char *v : values)
        out.append(v ? QVariant(QString::fromUtf8(v)) : QVariant(QString()));
    return out;
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<AdoConnection> m_con;

    QVariant read(const QString &sql) { return rux::test::sqlValue(m_db, sql); }

    QStringList cachedRow(const rux::SqlDataSet &set, int row)
    {
        QStringList out;
        for (int c = 0; c < set.columnCount(); ++c)
            out << set.displayText(row, c);
        return out;
    }

    void openTable(AdoTable &table, const QString &name)
    {
        table.setTableName(name);
        table.Open();
        while (table.canFetchMore())
            table.fetchMore(256);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(QStringLiteral("edit_%1.db").arg(QTest::currentTestFunction()));
        QFile::remove(m_db);
        rux::test::runSql(m_db, {
            QStringLiteral("create table pk(id integer primary key, name text, n integer default 7)"),
            QStringLiteral("insert into pk values(1, 'a', 10), (2, 'b', 20)"),
            QStringLiteral("create table nopk(name text, n integer)"),
            QStringLiteral("insert into nopk values('x', 1), ('x', 1)"),
            QStringLiteral("create table wr(code text primary key, v text) without rowid"),
            QStringLiteral("insert into wr values('k1', 'v1'), ('k2', 'v2')"),
            QStringLiteral("create table other(id integer primary key, pid integer)"),
            QStringLiteral("insert into other values(1, 1)"),
            QStringLiteral("create table strict_t(id integer primary key, n integer not null check (n > 0), "
                           "u text unique)"),
            QStringLiteral("insert into strict_t values(1, 5, 'p'), (2, 6, 'q')"),
            QStringLiteral("create table \"my table\"(id integer primary key, w text)"),
            QStringLiteral("insert into \"my table\" values(1, 'in brackets')"),
            QStringLiteral("create table flags(id integer primary key, f BOOLEAN)"),
            QStringLiteral("insert into flags values(1, 0)"),
            QStringLiteral("create view pkview as select id, name from pk"),
        });
        m_con = std::make_unique<AdoConnection>(QStringLiteral("access_con"));
        m_con->setConnectionString(rux::buildConnectionString(m_db));
    }

    void cleanup() { m_con.reset(); }

    void queryEditability_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("editable");
        // What the reason for the user says (empty: editable).
        QTest::addColumn<QString>("reason");
        const QString mixed = QStringLiteral("do not all come unchanged from one table");
        QTest::newRow("star_over_primary_key") << QStringLiteral("select * from pk") << true << QString();
        QTest::newRow("columns_with_key") << QStringLiteral("select name, id from pk") << true << QString();
        QTest::newRow("columns_without_key") << QStringLiteral("select name from pk") << false
                                             << QStringLiteral("lacks the key column \"id\" of \"pk\"");
        QTest::newRow("join") << QStringLiteral("select pk.id, other.pid from pk join other on other.pid = pk.id")
                              << false << mixed;
        QTest::newRow("expression_column") << QStringLiteral("select id, n + 1 from pk") << false << mixed;
        QTest::newRow("table_without_primary_key") << QStringLiteral("select * from nopk") << false
                                                   << QStringLiteral("table \"nopk\" has no primary key");
        QTest::newRow("same_column_twice") << QStringLiteral("select id, name, name from pk") << false
                                           << QStringLiteral("appears twice");
        QTest::newRow("constant") << QStringLiteral("select 1") << false << mixed;
    }

    void queryEditability()
    {
        QFETCH(QString, sql);
        QFETCH(bool, editable);
        QFETCH(QString, reason);
        AdoQuery q(m_con.get(), QStringLiteral("Query1"));
        q.sqlAdd(sql);
        q.Open();
        QCOMPARE(q.canModify(), editable);
        QVERIFY2(reason.isEmpty() ? q.readOnlyReason().isEmpty() : q.readOnlyReason().contains(reason),
                 qPrintable(q.readOnlyReason()));
        if (!editable) {
            q.fetchMore(10);
            const QString text = failureOf([&]() { q.deleteRow(0); });
            QVERIFY2(text.startsWith(QStringLiteral("Query1: ")), qPrintable(text));
        }
    }

    void tableEditability_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<int>("columns");
        QTest::newRow("primary_key") << QStringLiteral("pk") << true << 3;
        QTest::newRow("no_primary_key_rowid_hidden") << QStringLiteral("nopk") << true << 2;
        QTest::newRow("without_rowid") << QStringLiteral("wr") << true << 2;
        QTest::newRow("view_read_only") << QStringLiteral("pkview") << false << 2;
    }

    void tableEditability()
    {
        QFETCH(QString, table);
        QFETCH(bool, editable);
        QFETCH(int, columns);
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, table);
        QVERIFY(t.active());
        QCOMPARE(t.canModify(), editable);
        QCOMPARE(t.readOnlyReason().contains(QStringLiteral("is a view")), !editable);
        QCOMPARE(t.columnCount(), columns);
    }

    void updateWritesTheRow_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        QTest::newRow("primary_key_table") << QStringLiteral("pk") << 1 << texts({"2", "bee", "21"})
                                           << QStringLiteral("select name || n from pk where id = 2")
                                           << QStringLiteral("bee21");
        QTest::newRow("change_the_key") << QStringLiteral("pk") << 0 << texts({"9", "a", "10"})
                                        << QStringLiteral("select group_concat(id) from pk")
                                        << QStringLiteral("2,9");
        QTest::newRow("duplicate_rows_by_rowid") << QStringLiteral("nopk") << 1 << texts({"y", "1"})
                                                 << QStringLiteral("select group_concat(name) from "
                                                                   "(select name from nopk order by rowid)")
                                                 << QStringLiteral("x,y");
        QTest::newRow("without_rowid") << QStringLiteral("wr") << 0 << texts({"k1", "new"})
                                       << QStringLiteral("select v from wr where code = 'k1'")
                                       << QStringLiteral("new");
        QTest::newRow("empty_text_is_null") << QStringLiteral("pk") << 0 << texts({"1", "", "10"})
                                            << QStringLiteral("select name is null from pk where id = 1")
                                            << QStringLiteral("1");
        QTest::newRow("yes_no_text") << QStringLiteral("flags") << 0 << texts({"1", "Wahr"})
                                     << QStringLiteral("select f from flags") << QStringLiteral("1");
        QTest::newRow("bracketed_name") << QStringLiteral("my table") << 0 << texts({"1", "changed"})
                                        << QStringLiteral("select w from \"my table\"")
                                        << QStringLiteral("changed");
    }

    void updateWritesTheRow()
    {
        QFETCH(QString, table);
        QFETCH(int, row);
        QFETCH(QVector<QVariant>, values);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, table);
        const int rows = t.fetchedRowCount();
        t.updateRow(row, values);
        QCOMPARE(read(check).toString(), expected);
        QCOMPARE(t.fetchedRowCount(), rows);
        // The cache shows what the engine holds.
        QStringList shown;
        for (const QVariant &v : values)
            shown << v.toString();
        QCOMPARE(cachedRow(t, row), shown);
    }

    // Changing one cell writes that cell: the others keep their exact value
    // and type, whatever their text in the grid (a real shown with 15 digits,
    // a blob, an empty text that is not null, a number in a column without
    // a type).
    void updateKeepsTheUntouchedCells_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("expected");
        QTest::newRow("real_third") << QStringLiteral("r") << QStringLiteral("real:1");
        QTest::newRow("blob") << QStringLiteral("b") << QStringLiteral("blob:0001FF");
        QTest::newRow("empty_text_not_null") << QStringLiteral("e") << QStringLiteral("text:");
        QTest::newRow("number_without_type") << QStringLiteral("u") << QStringLiteral("integer:5");
        QTest::newRow("null_stays_null") << QStringLiteral("z") << QStringLiteral("null:");
    }

    void updateKeepsTheUntouchedCells()
    {
        QFETCH(QString, column);
        QFETCH(QString, expected);
        rux::test::runSql(m_db, {
            QStringLiteral("create table mixed(id integer primary key, name text, r real, b blob, e text, u, z)"),
            QStringLiteral("insert into mixed values(1, 'old', 1.0/3, x'0001ff', '', 5, null)"),
        });
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, QStringLiteral("mixed"));
        QVector<QVariant> shown;
        for (int c = 0; c < t.columnCount(); ++c)
            shown.append(t.displayText(0, c));
        shown[1] = QStringLiteral("new");
        t.updateRow(0, shown);
        QCOMPARE(read(QStringLiteral("select name from mixed")).toString(), QStringLiteral("new"));
        const QString sql = column == QLatin1String("r")
            ? QStringLiteral("select typeof(r) || ':' || (r = 1.0/3) from mixed")
            : column == QLatin1String("b")
            ? QStringLiteral("select typeof(b) || ':' || hex(b) from mixed")
            : QStringLiteral("select typeof(%1) || ':' || ifnull(%1, '') from mixed").arg(column);
        QCOMPARE(read(sql).toString(), expected);
    }

    void queryUpdateWritesThrough()
    {
        AdoQuery q(m_con.get(), QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("select name, id from pk order by id"));
        q.Open();
        q.fetchMore(10);
        q.updateRow(0, texts({"alpha", "1"}));
        QCOMPARE(read(QStringLiteral("select name from pk where id = 1")).toString(), QStringLiteral("alpha"));
        QCOMPARE(q.displayText(0, 0), QStringLiteral("alpha"));
    }

    void insertAppendsAndRereadsDefaults()
    {
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, QStringLiteral("pk"));
        t.insertRow(2, texts({"", "c", ""}));
        QCOMPARE(t.fetchedRowCount(), 3);
        QCOMPARE(cachedRow(t, 2), QStringList({"3", "c", "7"}));
        QCOMPARE(read(QStringLiteral("select n from pk where name = 'c'")).toInt(), 7);
        t.refresh();
        while (t.canFetchMore())
            t.fetchMore(256);
        QCOMPARE(t.fetchedRowCount(), 3);
        QCOMPARE(cachedRow(t, 2), QStringList({"3", "c", "7"}));
    }

    void insertIntoTablesOfEveryKind_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("no_primary_key") << QStringLiteral("nopk") << texts({"z", "3"})
                                        << QStringList({"z", "3"});
        QTest::newRow("without_rowid") << QStringLiteral("wr") << texts({"k3", "v3"})
                                       << QStringList({"k3", "v3"});
        QTest::newRow("all_empty_gets_defaults") << QStringLiteral("pk") << texts({"", "", ""})
                                                 << QStringList({"3", "", "7"});
    }

    void insertIntoTablesOfEveryKind()
    {
        QFETCH(QString, table);
        QFETCH(QVector<QVariant>, values);
        QFETCH(QStringList, shown);
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, table);
        const int rows = t.fetchedRowCount();
        t.insertRow(rows, values);
        QCOMPARE(t.fetchedRowCount(), rows + 1);
        QCOMPARE(cachedRow(t, rows), shown);
        QCOMPARE(read(QStringLiteral("select count(*) from ") + table).toInt(), rows + 1);
    }

    void deleteRemovesTheRow_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("left");
        QTest::newRow("primary_key") << QStringLiteral("pk") << 0 << 1;
        // Two equal rows: only the one deleted goes.
        QTest::newRow("duplicate_rows_by_rowid") << QStringLiteral("nopk") << 1 << 1;
        QTest::newRow("without_rowid") << QStringLiteral("wr") << 1 << 1;
    }

    void deleteRemovesTheRow()
    {
        QFETCH(QString, table);
        QFETCH(int, row);
        QFETCH(int, left);
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, table);
        t.deleteRow(row);
        QCOMPARE(t.fetchedRowCount(), left);
        QCOMPARE(read(QStringLiteral("select count(*) from ") + table).toInt(), left);
    }

    // Rows the grid wrote while the rest of the table was still unread: the
    // engine's scan may meet them again further on, and the grid must not
    // show them twice.
    void writesBeforeTheRestIsReadShowNoDuplicates_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::newRow("insert_at_cursor") << QStringLiteral("insert");
        QTest::newRow("key_moved_past_the_read_rows") << QStringLiteral("update_key");
        QTest::newRow("values_changed_in_place") << QStringLiteral("update_value");
        QTest::newRow("fetched_row_deleted") << QStringLiteral("delete");
    }

    void writesBeforeTheRestIsReadShowNoDuplicates()
    {
        QFETCH(QString, edit);
        rux::test::runSql(m_db, {
            QStringLiteral("create table many(id integer primary key, v text)"),
            QStringLiteral("insert into many with recursive c(n) as (select 1 union all "
                           "select n + 1 from c where n < 1000) select n, 'r' || n from c"),
        });
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        t.setTableName(QStringLiteral("many"));
        t.Open();
        // A table reads its first window when it opens.
        QCOMPARE(t.fetchedRowCount(), 256);
        int expected = 1000;
        if (edit == QLatin1String("insert")) {
            t.insertRow(10, texts({"", "new"}));
            ++expected;
        } else if (edit == QLatin1String("update_key")) {
            t.updateRow(5, texts({"5000", "moved"}));
        } else if (edit == QLatin1String("update_value")) {
            t.updateRow(5, texts({"6", "changed"}));
        } else {
            t.deleteRow(0);
            --expected;
        }
        while (t.canFetchMore())
            t.fetchMore(256);
        QCOMPARE(t.fetchedRowCount(), expected);
        QSet<QString> ids;
        for (int r = 0; r < t.fetchedRowCount(); ++r)
            ids.insert(t.displayText(r, 0));
        QCOMPARE(int(ids.size()), expected);
        QCOMPARE(read(QStringLiteral("select count(*) from many")).toInt(), expected);
    }

    // A set left open part-read (the editor window shows the first rows of
    // its table) must not stop later statements on the same connection: the
    // engine refuses to drop any table while a read is pending. The rows not
    // yet read still come when the grid asks for them, each once, also after
    // edits made before the statement ran.
    void partReadSetDoesNotBlockLaterStatements_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("expected");
        QTest::newRow("drop_another_table") << "table" << "" << "drop table other" << 1000;
        QTest::newRow("create_table") << "table" << "" << "create table scratch(x)" << 1000;
        QTest::newRow("alter_the_open_table") << "table" << "" << "alter table many add column w text" << 1000;
        QTest::newRow("row_deleted_before") << "table" << "delete" << "drop table other" << 999;
        QTest::newRow("row_inserted_before") << "table" << "insert" << "drop table other" << 1001;
        QTest::newRow("key_moved_before") << "table" << "move" << "drop table other" << 1000;
        QTest::newRow("read_only_result") << "query" << "" << "drop table other" << 1000;
    }

    void partReadSetDoesNotBlockLaterStatements()
    {
        QFETCH(QString, set);
        QFETCH(QString, edit);
        QFETCH(QString, statement);
        QFETCH(int, expected);
        rux::test::runSql(m_db, {
            QStringLiteral("create table many(id integer primary key, v text)"),
            QStringLiteral("insert into many with recursive c(n) as (select 1 union all "
                           "select n + 1 from c where n < 1000) select n, 'r' || n from c"),
        });
        std::unique_ptr<rux::SqlDataSet> open;
        if (set == QLatin1String("table")) {
            auto *t = new AdoTable(m_con.get(), QStringLiteral("ADOTable1"));
            open.reset(t);
            t->setTableName(QStringLiteral("many"));
            t->Open();
        } else {
            auto *r = new AdoQuery(m_con.get(), QStringLiteral("Query2"));
            open.reset(r);
            r->sqlAdd(QStringLiteral("select id, v || '' from many"));
            r->Open();
            QVERIFY(!r->canModify());
        }
        open->fetchMore(256);
        if (edit == QLatin1String("delete"))
            open->deleteRow(0);
        else if (edit == QLatin1String("insert"))
            open->insertRow(5, texts({"", "new"}));
        else if (edit == QLatin1String("move"))
            open->updateRow(7, texts({"5000", "moved"}));

        AdoQuery q(m_con.get(), QStringLiteral("Query1"));
        q.sqlAdd(statement);
        q.ExecSQL();
        QVERIFY(open->isActive());
        while (open->canFetchMore())
            open->fetchMore(256);
        QCOMPARE(open->fetchedRowCount(), expected);
        QSet<QString> ids;
        for (int r = 0; r < open->fetchedRowCount(); ++r)
            ids.insert(open->displayText(r, 0));
        QCOMPARE(int(ids.size()), expected);
        if (edit.isEmpty()) {
            for (int r = 0; r < expected; ++r) {
                if (open->displayText(r, 0) != QString::number(r + 1))
                    QFAIL(qPrintable(QStringLiteral("row %1 shows id %2").arg(r).arg(open->displayText(r, 0))));
            }
        }
    }

    void refusedUpdateKeepsTheCache_data()
    {
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QString>("engineText");
        QTest::newRow("check") << texts({"1", "-1", "p"}) << QStringLiteral("CHECK constraint failed");
        QTest::newRow("not_null") << texts({"1", "", "p"}) << QStringLiteral("NOT NULL constraint failed");
        QTest::newRow("unique") << texts({"1", "5", "q"}) << QStringLiteral("UNIQUE constraint failed");
        QTest::newRow("primary_key") << texts({"2", "5", "p"}) << QStringLiteral("UNIQUE constraint failed");
    }

    void refusedUpdateKeepsTheCache()
    {
        QFETCH(QVector<QVariant>, values);
        QFETCH(QString, engineText);
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, QStringLiteral("strict_t"));
        const QStringList before = cachedRow(t, 0);
        const QString text = failureOf([&]() { t.updateRow(0, values); });
        QVERIFY2(text.contains(engineText), qPrintable(text));
        QCOMPARE(cachedRow(t, 0), before);
        QCOMPARE(t.fetchedRowCount(), 2);
        QCOMPARE(read(QStringLiteral("select n || u from strict_t where id = 1")).toString(),
                 QStringLiteral("5p"));
        // A refused insert leaves the rows as they were too.
        const QString insertText = failureOf([&]() { t.insertRow(2, values); });
        QVERIFY2(insertText != QStringLiteral("<no failure>"), qPrintable(insertText));
        QCOMPARE(t.fetchedRowCount(), 2);
    }

    void rowChangedBehindTheGridFails()
    {
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, QStringLiteral("pk"));
        rux::test::runSql(m_db, {QStringLiteral("delete from pk where id = 1")});
        const QString text = failureOf([&]() { t.updateRow(0, texts({"1", "zz", "10"})); });
        QVERIFY2(text.startsWith(QStringLiteral("Row cannot be located")), qPrintable(text));
        QCOMPARE(cachedRow(t, 0), QStringList({"1", "a", "10"}));
    }

    void setTableNameRules()
    {
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        t.setTableName(QStringLiteral("pk"));
        t.Open();
        t.setTableName(QStringLiteral("pk"));
        QVERIFY(t.active());
        QCOMPARE(failureOf([&]() { t.setTableName(QStringLiteral("nopk")); }),
                 QStringLiteral("ADOTable1: Operation bei geöffneter Datenmenge nicht ausführbar"));
        QCOMPARE(t.tableName(), QStringLiteral("pk"));
        QVERIFY(t.active());
        t.Close();
        t.setTableName(QStringLiteral("nopk"));
        QCOMPARE(t.tableName(), QStringLiteral("nopk"));
    }

    void bracketRuleName()
    {
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, QStringLiteral("my table"));
        QCOMPARE(t.tableName(), QStringLiteral("[my table]"));
        QVERIFY(t.canModify());
        QCOMPARE(cachedRow(t, 0), QStringList({"1", "in brackets"}));
        // The bracketed name is the same name: no failure while open.
        t.setTableName(QStringLiteral("[my table]"));
        QVERIFY(t.active());
    }

    void unknownTableFailsAndStaysClosed()
    {
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        t.setTableName(QStringLiteral("nope"));
        const QString text = failureOf([&]() { t.Open(); });
        QVERIFY2(text.contains(QStringLiteral("nope")), qPrintable(text));
        QVERIFY(!t.active());
        QCOMPARE(t.columnCount(), 0);
    }

    void openWhenOpenKeepsRows()
    {
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        openTable(t, QStringLiteral("pk"));
        t.Open();
        QCOMPARE(t.fetchedRowCount(), 2);
    }
};

QTEST_GUILESS_MAIN(TestEditing)
#include "tst_editing.moc"
