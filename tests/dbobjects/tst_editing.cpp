// Writing back, on every engine: which results and tables are editable and
// why not, updates, inserts and deletes through the row cache, refusals by
// the engine, reads left part-way while other statements run, and the table
// object's name rules.

#include "tests/support/failureof.h"
#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/adotable.h"
#include "tests/support/enginedb.h"
#include "tests/support/sqlitetrace.h"
#include "base/failure.h"

#include <QSet>
#include <QTest>

#include <sqlite3.h>

#include <memory>

using rux::AdoConnection;
using rux::AdoQuery;
using rux::AdoTable;
using namespace rux::test;

namespace {

QVector<QVariant> texts(std::initializer_list<const char *> values)
{
    QVector<QVariant> out;
    for (const char *v : values)
        out.append(v ? QVariant(QString::fromUtf8(v)) : QVariant(QString()));
    return out;
}

const Engine lite = Engine::Sqlite;
const Engine pg = Engine::Postgres;

} // namespace

class TestEditing : public QObject, private rux::test::EngineFixture
{
    Q_OBJECT

private:
    bool open(Engine engine)
    {
        QStringList schema;
        if (engine == Engine::Sqlite) {
            schema = {
                QStringLiteral("create table pk(id integer primary key, name text, n integer default 7)"),
                QStringLiteral("insert into pk values(1, 'a', 10), (2, 'b', 20)"),
                QStringLiteral("create table wr(code text primary key, v text) without rowid"),
                QStringLiteral("insert into wr values('k1', 'v1'), ('k2', 'v2')"),
                QStringLiteral("create table flags(id integer primary key, f BOOLEAN)"),
                QStringLiteral("insert into flags values(1, 0)"),
                QStringLiteral("create table many(id integer primary key, v text)"),
                QStringLiteral("create table mixed(id integer primary key, name text, r real, b blob, e text, u, z)"),
                QStringLiteral("insert into mixed values(1, 'old', 1.0/3, x'0001ff', '', 5, null)"),
            };
        } else {
            schema = {
                QStringLiteral("create table pk(id serial primary key, name text, n integer default 7)"),
                QStringLiteral("insert into pk(name, n) values('a', 10), ('b', 20)"),
                QStringLiteral("create table flags(id integer primary key, f boolean)"),
                QStringLiteral("insert into flags values(1, false)"),
                QStringLiteral("create table many(id serial primary key, v text)"),
                QStringLiteral("create table mixed(id integer primary key, name text, r float8, b bytea, e text, "
                               "u numeric, z integer)"),
                QStringLiteral("insert into mixed values(1, 'old', 1::float8 / 3, '\\x0001ff', '', 5, null)"),
                QStringLiteral("create table typed (id int primary key, name text, ok boolean, "
                               "amount numeric(12,3), f float8, d date, ts timestamp, b bytea)"),
                QStringLiteral("insert into typed values (1, 'a', true, 12.5, 1.5, '2024-01-02', "
                               "'2024-01-02 03:04:05', 'xy'), (2, 'b', false, null, null, null, null, null)"),
            };
        }
        schema << QStringLiteral("create table nopk(name text, n integer)")
               << QStringLiteral("insert into nopk values('x', 1), ('x', 1)")
               << QStringLiteral("create table other(id integer primary key, pid integer)")
               << QStringLiteral("insert into other values(1, 1)")
               << QStringLiteral("create table strict_t(id integer primary key, n integer not null check (n > 0), "
                                 "u text unique)")
               << QStringLiteral("insert into strict_t values(1, 5, 'p'), (2, 6, 'q')")
               << QStringLiteral("create table \"my table\"(id integer primary key, w text)")
               << QStringLiteral("insert into \"my table\" values(1, 'in brackets')")
               << QStringLiteral("create table \"Mixed Case\" (id integer primary key, \"Wert\" text)")
               << QStringLiteral("insert into \"Mixed Case\" values (1, 'eins')")
               << QStringLiteral("create view pkview as select id, name from pk")
               << QStringLiteral("insert into many(v) select 'r' || n from (%1) s")
                      .arg(rux::test::seriesSql(engine, 1000));
        return openEngine(engine, schema);
    }

    QString read(const QString &sql) { return m_db->value(sql); }

    // The distinct texts of the first column of the rows the grid holds.
    static QSet<QString> keysShown(const rux::DataSet &set)
    {
        QSet<QString> keys;
        for (int r = 0; r < set.fetchedRowCount(); ++r)
            keys.insert(set.displayText(r, 0));
        return keys;
    }

    // The table `name`, open and read to its end; it lives until the row ends.
    AdoTable &openTable(const QString &name)
    {
        m_table = std::make_unique<AdoTable>(m_con.get(), QStringLiteral("ADOTable1"));
        m_table->setTableName(name);
        m_table->Open();
        fetchAll(*m_table);
        return *m_table;
    }

    std::unique_ptr<AdoTable> m_table;

private Q_SLOTS:
    void cleanup()
    {
        m_table.reset();
        closeEngine();
    }

    void queryEditability_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("editable");
        // What the reason for the user says (empty: editable).
        QTest::addColumn<QString>("reason");
        const QString mixed = QStringLiteral("do not all come unchanged from one table");
        bothRows("star_over_primary_key") << "select * from pk" << true << "";
        bothRows("columns_with_key") << "select name, id from pk" << true << "";
        bothRows("columns_without_key") << "select name from pk" << false
                                        << "lacks the key column \"id\" of \"pk\"";
        bothRows("join") << "select pk.id, other.pid from pk join other on other.pid = pk.id" << false
                         << mixed;
        bothRows("expression_column") << "select id, n + 1 from pk" << false << mixed;
        bothRows("table_without_primary_key") << "select * from nopk" << false
                                              << "table \"nopk\" has no primary key";
        bothRows("same_column_twice") << "select id, name, name from pk" << false << "appears twice";
        bothRows("constant") << "select 1" << false << mixed;
        engineRow(pg, "view") << "select * from pkview" << false << "";
    }

    void queryEditability()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(bool, editable);
        QFETCH(QString, reason);
        AdoQuery q(m_con.get(), QStringLiteral("Query1"));
        q.sqlAdd(sql);
        q.Open();
        QCOMPARE(q.canModify(), editable);
        QCOMPARE(q.readOnlyReason().isEmpty(), editable);
        QVERIFY2(q.readOnlyReason().contains(reason), qPrintable(q.readOnlyReason()));
        if (!editable) {
            q.fetchMore(10);
            const QString text = failureOf([&]() { q.deleteRow(0); });
            QVERIFY2(text.startsWith(QStringLiteral("Query1: ")), qPrintable(text));
        }
    }

    // A run without a grid reads its rows and never asks the catalog where
    // edits would go; the first question of a grid does.
    void editTargetLookedUpOnlyWhenAsked()
    {
        QVERIFY(open(lite));
        rux::test::SqliteTrace trace;
        m_con->Close();
        m_con->Open();
        trace.statements.clear();
        const QStringList &traced = trace.statements;
        AdoQuery q(m_con.get(), QStringLiteral("Query1"));
        q.sqlAdd(QStringLiteral("select id, name from pk"));
        q.Open();
        QCOMPARE(rux::test::readAll(q), QStringLiteral("1|a/2|b"));
        QCOMPARE(traced, QStringList{QStringLiteral("select id, name from pk\r\n")});
        QVERIFY(q.canModify());
        QVERIFY2(traced.filter(QStringLiteral("table_xinfo")).size() == 1, qPrintable(traced.join(u'\n')));
    }

    void tableEditability_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        // What the reason for the user says (empty: editable).
        QTest::addColumn<QString>("reason");
        bothRows("primary_key") << "pk" << true << 3 << 2 << "";
        bothRows("view_read_only") << "pkview" << false << 2 << 2 << "is a view";
        bothRows("blank_in_name_bracketed") << "Mixed Case" << true << 2 << 1 << "";
        engineRow(lite, "no_primary_key_rowid_hidden") << "nopk" << true << 2 << 2 << "";
        engineRow(lite, "without_rowid") << "wr" << true << 2 << 2 << "";
        engineRow(pg, "without_key_read_only") << "nopk" << false << 2 << 2 << "";
        engineRow(pg, "unquoted_name_folds_to_lower_case") << "Other" << true << 2 << 1 << "";
        engineRow(pg, "schema_qualified") << "%schema.pk" << true << 3 << 2 << "";
    }

    void tableEditability()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, table);
        QFETCH(bool, editable);
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(QString, reason);
        AdoTable &t = openTable(table.replace(QStringLiteral("%schema"), m_db->schema()));
        QVERIFY(t.active());
        QCOMPARE(t.canModify(), editable);
        QCOMPARE(t.readOnlyReason().isEmpty(), editable);
        QVERIFY2(t.readOnlyReason().contains(reason), qPrintable(t.readOnlyReason()));
        QCOMPARE(t.columnCount(), columns);
        QCOMPARE(t.fetchedRowCount(), rows);
    }

    // A place among all rows reads the rows there: by the key's value where
    // one whole-number key orders the rows, by skipping rows otherwise.
    void readAtFindsThePlace_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("create");
        bothRows("whole_number_key") << "many" << "";
        bothRows("text_key") << "tk" << "create table tk(code text primary key, v text)%1; "
                                        "insert into tk select 'k' || (10000 + n), 'r' || n from (%2) s";
        engineRow(pg, "no_key_read_by_location") << "plain" << "create table plain(v text)%1; "
                                                 "insert into plain select 'r' || n from (%2) s";
    }

    void readAtFindsThePlace()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, table);
        QFETCH(QString, create);
        if (!create.isEmpty()) {
            const QString sql = create.arg(engine == lite ? QStringLiteral(" without rowid") : QString(),
                                           rux::test::seriesSql(engine, 1000));
            QVERIFY(m_db->run(sql.split(QStringLiteral("; "))));
        }
        m_table = std::make_unique<AdoTable>(m_con.get(), QStringLiteral("ADOTable1"));
        m_table->setTableName(table);
        m_table->Open();
        AdoTable &t = *m_table;
        QVERIFY(t.canReadAt());
        t.countRows();
        QCOMPARE(t.rowsInAll(), qint64(1000));
        const int value = t.columnCount() - 1;
        const auto shows = [&](qint64 place, const QString &first, int rows) {
            QCOMPARE(t.firstRowAt(), place);
            QCOMPARE(t.displayText(0, value), first);
            QCOMPARE(t.fetchedRowCount(), rows);
        };
        t.readAt(500, 256);
        shows(500, QStringLiteral("r501"), 256);
        // Scrolling on from there, and back before it, keeps the places.
        t.fetchMore(256);
        QCOMPARE(t.displayText(256, value), QStringLiteral("r757"));
        QCOMPARE(t.fetchBefore(256), 256);
        shows(244, QStringLiteral("r245"), 756);
        // Near the end: the last window, placed at the end.
        t.readAt(900, 256);
        shows(744, QStringLiteral("r745"), 256);
        t.readAt(0, 256);
        shows(0, QStringLiteral("r1"), 256);
        // Rows written by others count at the next window read.
        QVERIFY(m_db->run({QStringLiteral("delete from %1 where v in ('r2', 'r3')").arg(table)}));
        t.readAt(100, 256);
        QCOMPARE(t.rowsInAll(), qint64(998));
    }

    void updateWritesTheRow_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        // The row the grid shows afterwards (empty: the values as given).
        QTest::addColumn<QStringList>("shown");
        bothRows("primary_key_table") << "pk" << 1 << texts({"2", "bee", "21"})
                                      << "select name || n from pk where id = 2" << "bee21" << QStringList();
        bothRows("change_the_key") << "pk" << 0 << texts({"9", "a", "10"}) << "select sum(id) from pk"
                                   << "11" << QStringList();
        // An emptied cell is an empty text; one set to NULL is NULL.
        bothRows("emptied_text_stays_text") << "pk" << 0 << texts({"1", "", "10"})
                                            << "select count(*) from pk where id = 1 and name = ''" << "1"
                                            << QStringList();
        bothRows("null_cell_is_null") << "pk" << 0
                                      << QVector<QVariant>{QStringLiteral("1"), QVariant::fromValue(nullptr),
                                                           QStringLiteral("10")}
                                      << "select count(*) from pk where id = 1 and name is null" << "1"
                                      << QStringList({"1", "", "10"});
        bothRows("yes_no_text") << "flags" << 0 << texts({"1", "Wahr"}) << "select count(*) from flags where f"
                                << "1" << QStringList();
        bothRows("bracketed_name") << "my table" << 0 << texts({"1", "changed"})
                                   << "select w from \"my table\"" << "changed" << QStringList();
        engineRow(lite, "duplicate_rows_by_rowid")
            << "nopk" << 1 << texts({"y", "1"})
            << "select group_concat(name) from (select name from nopk order by rowid)" << "x,y" << QStringList();
        engineRow(lite, "without_rowid") << "wr" << 0 << texts({"k1", "new"}) << "select v from wr where code = 'k1'"
                                         << "new" << QStringList();
        // Changed cells as typed text; the others as shown.
        engineRow(pg, "typed_columns")
            << "typed" << 0
            << texts({"1", "changed", "Falsch", "7.25", "1.5", "2024-01-02", "2024-01-02 03:04:05", "xy"})
            << "select name || ',' || ok || ',' || amount || ',' || encode(b, 'hex') from typed where id = 1"
            << "changed,false,7.250,7879"
            << QStringList({"1", "changed", "Falsch", "7.250", "1.5", "2024-01-02", "2024-01-02 03:04:05", "xy"});
    }

    void updateWritesTheRow()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, table);
        QFETCH(int, row);
        QFETCH(QVector<QVariant>, values);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        QFETCH(QStringList, shown);
        AdoTable &t = openTable(table);
        const int rows = t.fetchedRowCount();
        t.updateRow(row, values);
        QCOMPARE(read(check), expected);
        QCOMPARE(t.fetchedRowCount(), rows);
        // The cache shows what the engine holds.
        if (shown.isEmpty()) {
            for (const QVariant &v : values)
                shown << v.toString();
        }
        QCOMPARE(shownRow(t, row), shown);
    }

    // Changing one cell writes that cell: the others keep their exact value
    // and type, whatever their text in the grid (a real shown with 15 digits,
    // a blob, an empty text that is not null, a number in a column without
    // a type).
    void updateKeepsTheUntouchedCells_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        engineRow(lite, "real_third") << "select typeof(r) || ':' || (r = 1.0/3) from mixed" << "real:1";
        engineRow(lite, "blob") << "select typeof(b) || ':' || hex(b) from mixed" << "blob:0001FF";
        engineRow(lite, "empty_text_not_null") << "select typeof(e) || ':' || ifnull(e, '') from mixed" << "text:";
        engineRow(lite, "number_without_type") << "select typeof(u) || ':' || ifnull(u, '') from mixed" << "integer:5";
        engineRow(lite, "null_stays_null") << "select typeof(z) || ':' || ifnull(z, '') from mixed" << "null:";
        engineRow(pg, "real_third") << "select (r = 1::float8 / 3)::text from mixed" << "true";
        engineRow(pg, "blob") << "select encode(b, 'hex') from mixed" << "0001ff";
        engineRow(pg, "empty_text_not_null") << "select (e = '')::text from mixed" << "true";
        engineRow(pg, "number_without_type") << "select u::text from mixed" << "5";
        engineRow(pg, "null_stays_null") << "select (z is null)::text from mixed" << "true";
    }

    void updateKeepsTheUntouchedCells()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        AdoTable &t = openTable(QStringLiteral("mixed"));
        QVector<QVariant> shown;
        for (int c = 0; c < t.columnCount(); ++c)
            shown.append(t.displayText(0, c));
        shown[1] = QStringLiteral("new");
        t.updateRow(0, shown);
        QCOMPARE(read(QStringLiteral("select name from mixed")), QStringLiteral("new"));
        QCOMPARE(read(check), expected);
    }

    void queryUpdateWritesThrough_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        bothRows("key_last") << "select name, id from pk order by id" << texts({"alpha", "1"})
                             << "select name from pk where id = 1" << "alpha";
        bothRows("quoted_names") << "select \"Wert\", id from \"Mixed Case\"" << texts({"zwei", "1"})
                                 << "select \"Wert\" from \"Mixed Case\" where id = 1" << "zwei";
    }

    void queryUpdateWritesThrough()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, sql);
        QFETCH(QVector<QVariant>, values);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        AdoQuery q(m_con.get(), QStringLiteral("Query1"));
        q.sqlAdd(sql);
        q.Open();
        QVERIFY(q.canModify());
        q.fetchMore(10);
        q.updateRow(0, values);
        QCOMPARE(read(check), expected);
        QCOMPARE(q.displayText(0, 0), values.at(0).toString());
    }

    // The engine's defaults (a new key, a column default) are read back
    // into the grid.
    void insertAppendsAndRereadsDefaults_data() { rowPerEngine(); }

    void insertAppendsAndRereadsDefaults()
    {
        RUX_ENGINE_ROW(open);
        AdoTable &t = openTable(QStringLiteral("pk"));
        t.insertRow(2, texts({"", "c", ""}));
        QCOMPARE(t.fetchedRowCount(), 3);
        QCOMPARE(shownRow(t, 2), QStringList({"3", "c", "7"}));
        QCOMPARE(read(QStringLiteral("select n from pk where name = 'c'")), QStringLiteral("7"));
        t.refresh();
        fetchAll(t);
        QCOMPARE(t.fetchedRowCount(), 3);
        QCOMPARE(shownRow(t, 2), QStringList({"3", "c", "7"}));
    }

    void insertIntoTablesOfEveryKind_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("table");
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QStringList>("shown");
        bothRows("all_empty_gets_defaults") << "pk" << texts({"", "", ""}) << QStringList({"3", "", "7"});
        engineRow(lite, "no_primary_key") << "nopk" << texts({"z", "3"}) << QStringList({"z", "3"});
        engineRow(lite, "without_rowid") << "wr" << texts({"k3", "v3"}) << QStringList({"k3", "v3"});
        engineRow(pg, "typed_columns") << "typed"
                                       << texts({"3", "neu", "Wahr", nullptr, nullptr, nullptr, nullptr, nullptr})
                                       << QStringList({"3", "neu", "Wahr", "", "", "", "", ""});
    }

    void insertIntoTablesOfEveryKind()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, table);
        QFETCH(QVector<QVariant>, values);
        QFETCH(QStringList, shown);
        AdoTable &t = openTable(table);
        const int rows = t.fetchedRowCount();
        t.insertRow(rows, values);
        QCOMPARE(t.fetchedRowCount(), rows + 1);
        QCOMPARE(shownRow(t, rows), shown);
        QCOMPARE(read(QStringLiteral("select count(*) from ") + table), QString::number(rows + 1));
    }

    void deleteRemovesTheRow_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("left");
        bothRows("primary_key") << "pk" << 0 << 1;
        // Two equal rows: only the one deleted goes.
        engineRow(lite, "duplicate_rows_by_rowid") << "nopk" << 1 << 1;
        engineRow(lite, "without_rowid") << "wr" << 1 << 1;
        engineRow(pg, "typed_columns") << "typed" << 1 << 1;
    }

    void deleteRemovesTheRow()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, table);
        QFETCH(int, row);
        QFETCH(int, left);
        AdoTable &t = openTable(table);
        t.deleteRow(row);
        QCOMPARE(t.fetchedRowCount(), left);
        QCOMPARE(read(QStringLiteral("select count(*) from ") + table), QString::number(left));
    }

    // Rows the grid wrote while the rest of the table was still unread: the
    // engine's scan may meet them again further on, and the grid must not
    // show them twice.
    void writesBeforeTheRestIsReadShowNoDuplicates_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("edit");
        bothRows("insert_at_cursor") << "insert";
        bothRows("key_moved_past_the_read_rows") << "update_key";
        bothRows("values_changed_in_place") << "update_value";
        bothRows("fetched_row_deleted") << "delete";
        bothRows("update_delete_insert") << "all";
    }

    void writesBeforeTheRestIsReadShowNoDuplicates()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, edit);
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
        } else if (edit == QLatin1String("delete")) {
            t.deleteRow(0);
            --expected;
        } else {
            t.fetchMore(100);
            t.updateRow(5, texts({"6", "edited"}));
            t.deleteRow(0);
            t.insertRow(0, texts({"9999", "new"}));
        }
        fetchAll(t);
        QCOMPARE(t.fetchedRowCount(), expected);
        const QSet<QString> ids = keysShown(t);
        QCOMPARE(int(ids.size()), expected);
        QCOMPARE(read(QStringLiteral("select count(*) from many")), QString::number(expected));
        if (edit == QLatin1String("all")) {
            QVERIFY(!ids.contains(QStringLiteral("1")));
            QVERIFY(ids.contains(QStringLiteral("9999")));
            QCOMPARE(read(QStringLiteral("select v from many where id = 6")), QStringLiteral("edited"));
        }
    }

    // A set left open part-read (the editor window shows the first rows of
    // its table) must not stop later statements on the same connection: the
    // file engine refuses to drop any table while a read is pending, the
    // server's driver streams a result over the connection. The rows not
    // yet read still come when the grid asks for them, each once, also after
    // edits made before the statement ran.
    void partReadSetDoesNotBlockLaterStatements_data()
    {
        addEngineColumn();
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("expected");
        bothRows("drop_another_table") << "table" << "" << "drop table other" << 1000;
        bothRows("create_table") << "table" << "" << "create table scratch(x integer)" << 1000;
        bothRows("alter_the_open_table") << "table" << "" << "alter table many add column w text" << 1000;
        bothRows("insert_into_the_open_table") << "table" << "" << "insert into many values (5000, 'late')"
                                               << 1001;
        bothRows("row_deleted_before") << "table" << "delete" << "drop table other" << 999;
        bothRows("row_inserted_before") << "table" << "insert" << "drop table other" << 1001;
        bothRows("key_moved_before") << "table" << "move" << "drop table other" << 1000;
        bothRows("read_only_result") << "query" << "" << "drop table other" << 1000;
        // Only the drop is asked for here: the result is not read on.
        engineRow(pg, "drop_the_read_table") << "query" << "" << "drop table many" << 0;
    }

    void partReadSetDoesNotBlockLaterStatements()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QString, set);
        QFETCH(QString, edit);
        QFETCH(QString, statement);
        QFETCH(int, expected);
        std::unique_ptr<rux::SqlDataSet> open;
        if (set == QLatin1String("table")) {
            auto *t = new AdoTable(m_con.get(), QStringLiteral("ADOTable1"));
            open.reset(t);
            t->setTableName(QStringLiteral("many"));
            t->Open();
        } else {
            auto *r = new AdoQuery(m_con.get(), QStringLiteral("Query2"));
            open.reset(r);
            r->sqlAdd(QStringLiteral("select id, v || '' from many order by id"));
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
        // A result opened meanwhile is read too.
        q.sqlClear();
        q.sqlAdd(QStringLiteral("select count(*) from pk"));
        q.Open();
        QCOMPARE(q.asString(1), QStringLiteral("2"));
        QVERIFY(open->isActive());
        if (expected == 0) {
            QCOMPARE(read(QStringLiteral("select count(*) from pg_tables where tablename = 'many' "
                                         "and schemaname = current_schema()")),
                     QStringLiteral("0"));
            return;
        }
        fetchAll(*open);
        QCOMPARE(open->fetchedRowCount(), expected);
        QCOMPARE(int(keysShown(*open).size()), expected);
        if (edit.isEmpty()) {
            for (int r = 0; r < 1000; ++r) {
                if (open->displayText(r, 0) != QString::number(r + 1))
                    QFAIL(qPrintable(QStringLiteral("row %1 shows id %2").arg(r).arg(open->displayText(r, 0))));
            }
        }
    }

    // The engine's refusal reaches the caller; the cache and the engine's
    // row stay as they were, and a refused insert adds no row.
    void refusedUpdateKeepsTheCache_data()
    {
        addEngineColumn();
        QTest::addColumn<QVector<QVariant>>("values");
        QTest::addColumn<QString>("engineText");
        engineRow(lite, "check") << texts({"1", "-1", "p"}) << "CHECK constraint failed";
        engineRow(lite, "not_null") << texts({"1", "", "p"}) << "NOT NULL constraint failed";
        engineRow(lite, "unique") << texts({"1", "5", "q"}) << "UNIQUE constraint failed";
        engineRow(lite, "primary_key") << texts({"2", "5", "p"}) << "UNIQUE constraint failed";
        engineRow(pg, "check") << texts({"1", "-1", "p"}) << "violates check constraint";
        engineRow(pg, "not_null") << texts({"1", "", "p"}) << "null value in column \"n\"";
        engineRow(pg, "unique") << texts({"1", "5", "q"}) << "duplicate key value violates unique constraint";
        engineRow(pg, "primary_key") << texts({"2", "5", "p"}) << "duplicate key value violates unique constraint";
    }

    void refusedUpdateKeepsTheCache()
    {
        RUX_ENGINE_ROW(open);
        QFETCH(QVector<QVariant>, values);
        QFETCH(QString, engineText);
        AdoTable &t = openTable(QStringLiteral("strict_t"));
        const QStringList before = shownRow(t, 0);
        const QString text = failureOf([&]() { t.updateRow(0, values); });
        QVERIFY2(text.contains(engineText), qPrintable(text));
        QCOMPARE(shownRow(t, 0), before);
        QCOMPARE(t.fetchedRowCount(), 2);
        QCOMPARE(read(QStringLiteral("select n || u from strict_t where id = 1")), QStringLiteral("5p"));
        const QString insertText = failureOf([&]() { t.insertRow(2, values); });
        QVERIFY2(insertText != QStringLiteral("<no failure>"), qPrintable(insertText));
        QCOMPARE(t.fetchedRowCount(), 2);
    }

    void rowChangedBehindTheGridFails_data() { rowPerEngine(); }

    void rowChangedBehindTheGridFails()
    {
        RUX_ENGINE_ROW(open);
        AdoTable &t = openTable(QStringLiteral("pk"));
        QVERIFY(m_db->run({QStringLiteral("delete from pk where id = 1")}));
        const QString text = failureOf([&]() { t.updateRow(0, texts({"1", "zz", "10"})); });
        QVERIFY2(text.startsWith(QStringLiteral("Row cannot be located")), qPrintable(text));
        QCOMPARE(shownRow(t, 0), QStringList({"1", "a", "10"}));
    }

    void setTableNameRules_data() { rowPerEngine(); }

    void setTableNameRules()
    {
        RUX_ENGINE_ROW(open);
        AdoTable &t = openTable(QStringLiteral("pk"));
        // Open when open keeps the rows; the same name changes nothing.
        t.Open();
        QCOMPARE(t.fetchedRowCount(), 2);
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

    void bracketRuleName_data() { rowPerEngine(); }

    void bracketRuleName()
    {
        RUX_ENGINE_ROW(open);
        AdoTable &t = openTable(QStringLiteral("my table"));
        QCOMPARE(t.tableName(), QStringLiteral("[my table]"));
        QVERIFY(t.canModify());
        QCOMPARE(shownRow(t, 0), QStringList({"1", "in brackets"}));
        // The bracketed name is the same name: no failure while open.
        t.setTableName(QStringLiteral("[my table]"));
        QVERIFY(t.active());
    }

    void unknownTableFailsAndStaysClosed_data() { rowPerEngine(); }

    void unknownTableFailsAndStaysClosed()
    {
        RUX_ENGINE_ROW(open);
        AdoTable t(m_con.get(), QStringLiteral("ADOTable1"));
        t.setTableName(QStringLiteral("nosuch"));
        QCOMPARE(failureOf([&]() { t.Open(); }), QStringLiteral("no such table: nosuch"));
        QVERIFY(!t.active());
        QCOMPARE(t.columnCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEditing)
#include "tst_editing.moc"
