// Access files in whole runs: an unattended run of the program on
// Northwind whose export matches the same query run by the sqlite3 shell on
// a copy made by mdbtools, a data-changing batch that fails and leaves the
// file as it was, and the table editor whose posted edit is refused by the
// failure display. Skips when the shared fixtures are absent.

#include "db/access/accessreader.h"
#include "db/access/mdbimport.h"
#include "tests/support/accessfixture.h"
#include "tests/support/ownmount.h"
#include "tests/support/processrun.h"
#include "tests/support/windowfixture.h"

#include "db/adoconnection.h"
#include "ui/datagrid.h"
#include "ui/dbnavigator.h"

#include <QCryptographicHash>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace rux;
using namespace rux::test;

namespace {

constexpr int kTimeBoundMs = 60000;

using rux::test::fileHash;
using rux::test::fixture;

using Outcome = ProcessOutcome;

Outcome runTool(const QString &program, const QStringList &arguments, const QString &workDir,
                const QByteArray &input = QByteArray(),
                const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    ProcessRun run;
    run.program = program;
    run.arguments = arguments;
    run.workingDirectory = workDir;
    run.input = input;
    run.environment = env;
    run.timeoutMs = kTimeBoundMs;
    return runProcess(run);
}

// A conversion needs no screen and no platform.
QProcessEnvironment noScreen()
{
    QProcessEnvironment env = screenlessEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

// The files in `folder` whose names start with "." (a conversion builds its
// file under such a name).
QStringList hiddenFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
}

// The processes whose command line names `text` (a reader left running).
QStringList processesNaming(const QString &text)
{
    QStringList found;
    const QByteArray needle = QFile::encodeName(text);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toInt() <= 0)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle))
            found.append(pid);
    }
    return found;
}

// The first field of the first row of `sql` as text; the failure's text
// when it fails.
QString firstField(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return QStringLiteral("<failed: %1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    QString value = QStringLiteral("<no rows>");
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return value;
}

QString quotedName(QString name)
{
    return u'"' + name.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

// Orders per customer country, with their freight and order amounts.
const char kOrdersPerCountry[] =
    "select c.Country, count(*) as orders, count(distinct o.CustomerID) as customers,\r\n"
    "  printf('%.2f', sum(o.Freight)) as freight, printf('%.2f', sum(d.amount)) as amount\r\n"
    "from Orders o\r\n"
    "  join Customers c on c.CustomerID = o.CustomerID\r\n"
    "  join (select OrderID, sum(UnitPrice * Quantity) as amount\r\n"
    "        from [Order Details] group by OrderID) d on d.OrderID = o.OrderID\r\n"
    "group by c.Country\r\n"
    "order by orders desc, c.Country\r\n";

} // namespace

class TestAccessRuns : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_nwind;
    QString m_mounted;

    QString path(const QString &name) const { return m_dir->filePath(name); }

    QString writableCopy(const QString &name)
    {
        const QString target = path(name);
        QFile::remove(target);
        if (!QFile::copy(m_nwind, target) || !QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner))
            qFatal("cannot copy the fixture to %s", qPrintable(target));
        return target;
    }

    QString writeScript(const QString &name, const QByteArray &text)
    {
        return rux::test::makeFile(path(name), text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_nwind = fixture(QStringLiteral("nwind.mdb"));
        if (!QFileInfo(m_nwind).isFile())
            QSKIP("the shared fixtures (" RUX_SHARED_DIR "/fixtures) are absent");
        QVERIFY(QFileInfo(programBinary()).isExecutable());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        if (!m_mounted.isEmpty())
            unmount(m_mounted);
        m_mounted.clear();
        m_dir.reset();
    }

    Outcome convert(const QString &source, const QString &target)
    {
        return runTool(programBinary(), {QStringLiteral("--convert-access"), source, target},
                       m_dir->path(), QByteArray(), noScreen());
    }

    // An unattended run of `script` on `database`, without a screen.
    Outcome runScript(const QString &database, const QString &script)
    {
        return runTool(programBinary(),
                       {QStringLiteral("DB=") + database, QStringLiteral("SQL=") + script, QStringLiteral("GO")},
                       m_dir->path(), QByteArray(), screenlessEnvironment());
    }

    // The conversion holds what opening the Access file imports: the same
    // tables, declarations, keys and values; it lists each table with its
    // rows. The ACE sample goes under a name without its extension: the
    // header decides.
    void conversionMatchesImport_data()
    {
        QTest::addColumn<QString>("fixtureName");
        QTest::addColumn<QString>("sourceName");
        QTest::newRow("Northwind") << "nwind.mdb" << "nwind.mdb";
        QTest::newRow("date test") << "DateTestDatabase.mdb" << "DateTestDatabase.mdb";
        QTest::newRow("ACE sample as .bin") << "ASampleDatabase.accdb" << "sample.bin";
    }

    void conversionMatchesImport()
    {
        QFETCH(QString, fixtureName);
        QFETCH(QString, sourceName);
        const QString source = path(sourceName);
        QVERIFY(QFile::copy(fixture(fixtureName), source));
        const QString target = path(QStringLiteral("converted.db"));
        const Outcome run = convert(source, target);
        QVERIFY(run.finished);
        QVERIFY2(run.exitCode == 0, run.errBytes.constData());
        QCOMPARE(run.errBytes, QByteArray());
        QCOMPARE(hiddenFiles(m_dir->path()), QStringList());

        sqlite3 *raw = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &raw), SQLITE_OK);
        const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(raw, sqlite3_close);
        const AccessImport imported = importAccessFile(source, db.get());
        QVERIFY(!imported.tableRows.isEmpty());
        QByteArray listing;
        for (const ImportedTable &table : imported.tableRows)
            listing += table.name.toUtf8() + '\t' + QByteArray::number(table.rows) + '\n';
        QCOMPARE(run.outBytes, listing);

        QCOMPARE(firstField(db.get(), QStringLiteral("attach '%1' as c").arg(target)), QStringLiteral("<no rows>"));
        QCOMPARE(firstField(db.get(), QStringLiteral("pragma c.integrity_check")), QStringLiteral("ok"));
        const QString schema = QStringLiteral("select group_concat(type || ' ' || name || ' ' || ifnull(sql, ''), "
                                              "char(10)) from (select * from %1.sqlite_master order by name)");
        QCOMPARE(firstField(db.get(), schema.arg(QStringLiteral("c"))), firstField(db.get(), schema.arg(QStringLiteral("main"))));
        for (const ImportedTable &table : imported.tableRows) {
            const QString name = quotedName(table.name);
            QCOMPARE(firstField(db.get(), QStringLiteral("select count(*) from c.%1").arg(name)), QString::number(table.rows));
            const QString missing = QStringLiteral("select count(*) from (select * from %1.%3 except select * from %2.%3)");
            QCOMPARE(firstField(db.get(), missing.arg(QStringLiteral("main"), QStringLiteral("c"), name)), QStringLiteral("0"));
            QCOMPARE(firstField(db.get(), missing.arg(QStringLiteral("c"), QStringLiteral("main"), name)), QStringLiteral("0"));
        }
    }

    // Every refusal is one line on standard error with status 1, and leaves
    // no file behind: an existing target stays as it was. Where opening the
    // source with DB= fails too, it fails with the same text.
    void conversionRefusals_data()
    {
        QTest::addColumn<QString>("source"); // in the test's folder; %nwind: Northwind
        QTest::addColumn<QString>("target"); // in the test's folder; %small/: on a full file system
        QTest::addColumn<QString>("error");  // %s, %t: the source's and the target's path
        QTest::addColumn<bool>("asOpening");

        QTest::newRow("existing target")
            << "%nwind" << "taken.db"
            << "'%t' exists already. A conversion never replaces a file: name a new one as the target." << false;
        QTest::newRow("missing source") << "none.mdb" << "x.db" << "Could not find file '%s'." << true;
        QTest::newRow("not an Access file") << "text.mdb" << "x.db" << "Unrecognized database format '%s'." << true;
        QTest::newRow("damaged copy")
            << "damaged.mdb" << "x.db"
            << "Could not read the Access file '%s': it ends inside a page: the file was cut short." << true;
        QTest::newRow("SQLite source")
            << "already.db" << "x.db" << "'%s' is an SQLite database already: open it with DB= as it is." << false;
        QTest::newRow("missing folder")
            << "%nwind" << "no/x.db" << "Could not create '%t': No such file or directory." << false;
        QTest::newRow("full disk")
            << "%nwind" << "%small/x.db" << "Could not write '%t': database or disk is full." << false;
    }

    void conversionRefusals()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, error);
        QFETCH(bool, asOpening);

        QVERIFY(writeBytes(path(QStringLiteral("taken.db")), "keep"));
        QVERIFY(writeBytes(path(QStringLiteral("text.mdb")), "Standard Jet DB? No, text.\n"));
        QVERIFY(writeBytes(path(QStringLiteral("damaged.mdb")), fileBytes(m_nwind).left(100000)));
        makeDatabase(path(QStringLiteral("already.db")), {QStringLiteral("create table a (x)")});
        if (target.startsWith(QLatin1String("%small/"))) {
            const QString small = path(QStringLiteral("small"));
            QVERIFY(QDir().mkpath(small));
            const QString problem = mountTmpfs(small, MS_NOSUID | MS_NODEV, "size=256k");
            if (!problem.isEmpty())
                QSKIP(qPrintable(QStringLiteral("no small file system to fill: ") + problem));
            m_mounted = small;
            target.replace(QStringLiteral("%small"), QStringLiteral("small"));
        }
        source = source == QLatin1String("%nwind") ? m_nwind : path(source);
        target = path(target);
        error.replace(QStringLiteral("%s"), source).replace(QStringLiteral("%t"), target);
        const QByteArray targetBefore = fileBytes(target);

        const Outcome run = convert(source, target);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(QString::fromUtf8(run.errBytes), QStringLiteral("rux_ppp: ") + error + u'\n');
        QCOMPARE(run.outBytes, QByteArray());
        QCOMPARE(fileBytes(target), targetBefore);
        QCOMPARE(hiddenFiles(QFileInfo(target).absolutePath()), QStringList());

        if (asOpening) {
            const Outcome opening = runTool(programBinary(), {QStringLiteral("DB=") + source, QStringLiteral("GO")},
                                            m_dir->path(), QByteArray(), screenlessEnvironment());
            QVERIFY(opening.finished);
            QCOMPARE(opening.exitCode, 1);
            QCOMPARE(opening.errBytes, run.errBytes);
        }
    }

    // A converted Northwind first shows every table as the Access file
    // shows it, then takes a daily script's changes unattended: an insert,
    // an update through a temporary table, a delete, the temporary table's
    // drop in a protected batch, and an export.
    void convertedNorthwindTakesChanges()
    {
        const QString copy = path(QStringLiteral("nwind.db"));
        const Outcome converted = convert(m_nwind, copy);
        QVERIFY(converted.finished);
        QVERIFY2(converted.exitCode == 0, converted.errBytes.constData());

        const QStringList lines = QString::fromUtf8(converted.outBytes).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 9);
        const auto everyTable = [&lines](const QString &folder) {
            QString script;
            for (int i = 0; i < lines.size(); ++i) {
                const QString table = quotedName(lines[i].section(u'\t', 0, 0));
                const QString file = folder + QStringLiteral("/table") + QString::number(i);
                script += QStringLiteral("select * from %1\r\ntotxt %2.txt\r\ngo\r\n"
                                         "select count(*) from %1\r\ntotxt %2.count\r\ngo\r\n")
                              .arg(table, file);
            }
            return script + QStringLiteral("select printf('%.2f', 2 * sum(Freight)) from Orders "
                                           "where ShipCountry = 'Germany'\r\ntotxt ")
                + folder + QStringLiteral("/german.txt\r\ngo\r\n");
        };
        for (const QString &side : {QStringLiteral("access"), QStringLiteral("sqlite")}) {
            QVERIFY(QDir(m_dir->path()).mkdir(side));
            // In the scripts' own code page, as a script file is read.
            const QString script = writeScript(side + QStringLiteral(".sql"), everyTable(side).toLatin1());
            const Outcome shown = runScript(side == QLatin1String("access") ? m_nwind : copy, script);
            QVERIFY(shown.finished);
            QVERIFY2(shown.exitCode == 0, shown.errBytes.constData());
        }
        for (int i = 0; i <= lines.size(); ++i) {
            const QString name = i < lines.size() ? QStringLiteral("table%1.txt").arg(i) : QStringLiteral("german.txt");
            const QByteArray access = fileBytes(path(QStringLiteral("access/") + name));
            QVERIFY2(access.size() > 6, qPrintable(name));
            QVERIFY2(fileBytes(path(QStringLiteral("sqlite/") + name)) == access, qPrintable(name));
            if (i < lines.size()) {
                const QString counted = QStringLiteral("/table%1.count").arg(i);
                const QByteArray rows = lines[i].section(u'\t', 1).toUtf8() + "    \r\n";
                QCOMPARE(fileBytes(path(QStringLiteral("access") + counted)), rows);
                QCOMPARE(fileBytes(path(QStringLiteral("sqlite") + counted)), rows);
            }
        }

        const QString daily = writeScript(QStringLiteral("daily.sql"),
            "drop table tmp_german\r\ngo\r\n"
            "create temp table tmp_german as select OrderID from Orders where ShipCountry = 'Germany'\r\n"
            "  -- the German orders copied into a table of the run's own\r\ngo\r\n"
            "insert into Shippers (ShipperID, CompanyName, Phone) values (4, 'Nordfracht', '040 1234')\r\ngo\r\n"
            "update Orders set Freight = Freight * 2 where OrderID in (select OrderID from tmp_german)\r\ngo\r\n"
            "delete from [Order Details] where OrderID = 10248\r\ngo\r\n"
            "drop table tmp_german\r\ngo\r\n"
            "select (select count(*) from Shippers), (select count(*) from [Order Details]),\r\n"
            "  (select printf('%.2f', sum(Freight)) from Orders where ShipCountry = 'Germany'),\r\n"
            "  (select count(*) from sqlite_temp_master)\r\n"
            "totxt after.txt\r\ngo\r\n");
        const Outcome run = runScript(copy, daily);
        QVERIFY(run.finished);
        QVERIFY2(run.exitCode == 0, run.errBytes.constData());
        QCOMPARE(run.errBytes, QByteArray());
        const QByteArray german = fileBytes(path(QStringLiteral("access/german.txt"))).chopped(6);
        QCOMPARE(fileBytes(path(QStringLiteral("after.txt"))), "4    2152    " + german + "    0    \r\n");
    }

    void joinWithGroupingMatchesSqliteShell()
    {
        // The reference copy, made by mdbtools' own export into SQLite
        // (blobs left out: its SQLite export cannot write them).
        const QString copy = path(QStringLiteral("copy.db"));
        const Outcome schema = runTool(QStringLiteral("mdb-schema"), {m_nwind, QStringLiteral("sqlite")}, m_dir->path());
        QVERIFY2(schema.finished && schema.exitCode == 0, "mdb-schema (Debian mdbtools) did not run");
        QByteArray load = schema.outBytes;
        const Outcome tables = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), m_nwind}, m_dir->path());
        QVERIFY(tables.finished && tables.exitCode == 0);
        for (const QString &table : QString::fromUtf8(tables.outBytes).split(u'\n', Qt::SkipEmptyParts)) {
            const Outcome data = runTool(QStringLiteral("mdb-export"),
                                         {QStringLiteral("-I"), QStringLiteral("sqlite"), QStringLiteral("-b"),
                                          QStringLiteral("strip"), m_nwind, table}, m_dir->path());
            QVERIFY2(data.finished && data.exitCode == 0, qPrintable(table));
            load += data.outBytes;
        }
        const Outcome loaded = runTool(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), copy}, m_dir->path(), load);
        QVERIFY2(loaded.finished && loaded.exitCode == 0, loaded.errBytes.constData());

        const QString query = QString::fromLatin1(kOrdersPerCountry);
        const Outcome expected = runTool(QStringLiteral("sqlite3"),
                                         {QStringLiteral("-batch"), QStringLiteral("-noheader"), QStringLiteral("-list"),
                                          QStringLiteral("-separator"), QStringLiteral("    "),
                                          QStringLiteral("-newline"), QStringLiteral("    \r\n"), copy, query},
                                         m_dir->path());
        QVERIFY2(expected.finished && expected.exitCode == 0, expected.errBytes.constData());
        QCOMPARE(expected.outBytes.count("\r\n"), 21); // countries with orders

        const QString script = writeScript(QStringLiteral("countries.sql"),
                                           QByteArray(kOrdersPerCountry) + "totxt countries.txt\r\ngo\r\n");
        const Outcome run = runScript(m_nwind, script);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(fileBytes(path(QStringLiteral("countries.txt"))), expected.outBytes);
    }

    void dataChangingBatchFails()
    {
        const QString file = writableCopy(QStringLiteral("Nordwind's Kopie.mdb"));
        const QByteArray before = fileHash(file);
        const QString script = writeScript(QStringLiteral("change.sql"),
            "select count(*) from Orders\r\ntotxt before.txt\r\ngo\r\n"
            "update Orders set Freight = Freight * 2 where OrderID = 10248\r\ngo\r\n"
            "select count(*) from Orders\r\ntotxt after.txt\r\ngo\r\n");
        const Outcome run = runScript(file, script);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        const QString refusal = readOnlyRefusal(file);
        QVERIFY2(QString::fromUtf8(run.errBytes).contains(QStringLiteral("rux_ppp: ") + refusal + u'\n'), run.errBytes.constData());
        QCOMPARE(fileBytes(path(QStringLiteral("before.txt"))), QByteArray("830    \r\n"));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("after.txt")))); // the run ended at the failure
        QCOMPARE(fileHash(file), before);

        // The command the refusal names works as it stands in a shell, and
        // the same script then runs on its result.
        const QString command = refusal.mid(refusal.indexOf(QStringLiteral("rux_ppp --convert-access")));
        QProcessEnvironment env = screenlessEnvironment();
        env.insert(QStringLiteral("PATH"), QFileInfo(programBinary()).absolutePath() + u':'
                                               + env.value(QStringLiteral("PATH")));
        const Outcome converted = runTool(QStringLiteral("sh"), {QStringLiteral("-c"), command}, m_dir->path(),
                                          QByteArray(), env);
        QVERIFY(converted.finished);
        QVERIFY2(converted.exitCode == 0, converted.errBytes.constData());
        const QString copy = path(QStringLiteral("Nordwind's Kopie.db"));
        const Outcome changed = runScript(copy, script);
        QVERIFY(changed.finished);
        QVERIFY2(changed.exitCode == 0, changed.errBytes.constData());
        QCOMPARE(fileBytes(path(QStringLiteral("after.txt"))), QByteArray("830    \r\n"));
        QCOMPARE(fileHash(file), before);
    }

    // The table editor shows an Access table; an edit posted there is
    // refused with the read-only error through the failure display, the
    // window stays, and the file is not touched, nor held open while the
    // rows are shown.
    // Every fixture cut short at a spread of places, page boundaries among
    // them, as an interrupted copy leaves a file: each conversion ends by
    // itself within the read's bounds, with status 0 and the whole content
    // of the file, or status 1 and one line naming the source; no file and
    // no process stays behind.
    void cutFilesConvertWholeOrFail_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"nwind.mdb", "DateTestDatabase.mdb", "indexCodesTest.mdb", "ASampleDatabase.accdb",
                                 "calcFieldTest.accdb", "complexDataTest.accdb", "emoticonsTest.accdb",
                                 "extDateTest.accdb"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void cutFilesConvertWholeOrFail()
    {
        QFETCH(QString, name);
        const QByteArray bytes = fileBytes(fixture(name));
        const QString suffix = u'.' + QFileInfo(name).suffix();
        const QString whole = path(QStringLiteral("whole.db"));
        QCOMPARE(convert(fixture(name), whole).exitCode, 0);
        const QByteArray wholeDump = runTool(QStringLiteral("sqlite3"), {whole, QStringLiteral(".dump")},
                                             m_dir->path()).outBytes;
        QVERIFY(!wholeDump.isEmpty());

        const qsizetype n = bytes.size();
        QList<qsizetype> cuts = {19, 2048, 4096 * 3, 32768, n / 2 / 4096 * 4096, n - 4096, n - 1000};
        for (int k = 1; k < 12; ++k)
            cuts.append(n * k / 12);
        const rux::AccessReadBounds bounds = rux::accessReadBounds(n);
        for (const qsizetype cut : cuts) {
            const QString source = path(QStringLiteral("cut") + suffix);
            const QString target = path(QStringLiteral("cut.db"));
            QFile::remove(target);
            QVERIFY(writeBytes(source, bytes.left(cut)));
            ProcessRun run;
            run.arguments = QStringList{QStringLiteral("--convert-access"), source, target};
            run.workingDirectory = m_dir->path();
            run.environment = noScreen();
            run.timeoutMs = int(bounds.milliseconds) + 15000;
            const Outcome o = runProcess(run);
            const QByteArray where = name.toUtf8() + " cut at " + QByteArray::number(cut);
            QVERIFY2(o.finished && !o.crashed, where.constData());
            if (o.exitCode == 0) {
                const QByteArray dump = runTool(QStringLiteral("sqlite3"), {target, QStringLiteral(".dump")},
                                                m_dir->path()).outBytes;
                QVERIFY2(dump == wholeDump, where.constData());
            } else {
                QVERIFY2(o.exitCode == 1, where.constData());
                const QString error = QString::fromUtf8(o.errBytes);
                QVERIFY2(error.startsWith(QStringLiteral("rux_ppp: Could not read the Access file '%1': ").arg(source))
                             && error.count(u'\n') == 1, qPrintable(where + ": " + error));
                QVERIFY2(!QFileInfo::exists(target), where.constData());
            }
            QVERIFY2(hiddenFiles(m_dir->path()).isEmpty(), where.constData());
            QVERIFY2(processesNaming(m_dir->path()).isEmpty(), where.constData());
        }
        // The largest process any conversion started (the program, or its
        // reader until it was stopped) stayed within the memory bound.
        rusage usage = {};
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
        QVERIFY2(qint64(usage.ru_maxrss) * 1024 < bounds.bytes + (qint64(256) << 20),
                 qPrintable(QString::number(usage.ru_maxrss)));
    }

    // What the copy leaves out reaches the user: the conversion's listing
    // names it after the tables, and a run on the file records it in the
    // run log, one `note` record each.
    void leftOutPartsReachTheListingAndTheLog()
    {
        const QString complex = fixture(QStringLiteral("complexDataTest.accdb"));
        const Outcome converted = convert(complex, path(QStringLiteral("c.db")));
        QCOMPARE(converted.exitCode, 0);
        const QStringList lines = QString::fromUtf8(converted.outBytes).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.first(), QStringLiteral("Table1\t4"));
        for (const QString &line : lines.mid(1))
            QVERIFY2(line.startsWith(QLatin1String("note: Table 'Table1': ")) && !line.contains(u'\t'), qPrintable(line));

        const QString log = path(QStringLiteral("run.log"));
        const Outcome run = runTool(programBinary(),
                                    {QStringLiteral("--log=") + log, QStringLiteral("DB=") + complex,
                                     QStringLiteral("SQL=") + writeScript(QStringLiteral("s.sql"), "select 1\r\n"),
                                     QStringLiteral("GO")},
                                    m_dir->path(), QByteArray(), screenlessEnvironment());
        QCOMPARE(run.exitCode, 0);
        QStringList notes;
        for (const QString &record : QString::fromUtf8(fileBytes(log)).split(u'\n')) {
            if (record.startsWith(QLatin1String("note text=")))
                notes.append(record);
        }
        QCOMPARE(notes.size(), 4);
        QVERIFY2(notes.first().startsWith(QLatin1String("note text=\"Table 'Table1': the earlier versions")),
                 qPrintable(notes.first()));
    }

    // Decimal values keep every digit in an export, with the user's decimal
    // point as a number of any other type gets it.
    void decimalsExportWithEveryDigit()
    {
        QProcessEnvironment env = screenlessEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        const QString script = writeScript(QStringLiteral("d.sql"),
                                           "select Popularity, BigNumTest, MonthlySalary from Table1 where ID = 4 "
                                           "totxt out.txt\r\ngo\r\n");
        const Outcome run = runTool(programBinary(),
                                    {QStringLiteral("DB=") + fixture(QStringLiteral("calcFieldTest.accdb")),
                                     QStringLiteral("SQL=") + script, QStringLiteral("GO")},
                                    m_dir->path(), QByteArray(), env);
        QVERIFY2(run.exitCode == 0, run.errBytes.constData());
        QCOMPARE(fileBytes(path(QStringLiteral("out.txt"))),
                 QByteArray("102030405060,654321    0,0000002787019289824216980830    8,3333    \r\n"));
    }

    void tableEditorRefusesPostedEdit_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("column");
        QTest::newRow("Order Details") << "Order Details" << 2;
        QTest::newRow("Umsätze") << "Umsätze" << 8;
    }

    void tableEditorRefusesPostedEdit()
    {
        QFETCH(QString, table);
        QFETCH(int, column);
        const QString file = writableCopy(QStringLiteral("edit.mdb"));
        const QByteArray before = fileHash(file);
        Windows w;
        w.openDatabase(file);
        Tftabed *ed = w.ftabed.get();
        int rows = -1;
        bool stillWaiting = false;
        bool heldOpen = true;
        QString shownAfterPost;
        StderrCapture shown;
        WaitActions actions(ed, {
            [&]() {
                DataSource *src = ed->DataSource1;
                rows = src->rowCount();
                heldOpen = processHoldsOpen(file);
                ed->DBGrid1->setCurrentIndex(src->index(0, column));
                QVERIFY(src->setData(src->index(0, column), QStringLiteral("99")));
                ed->DBNavigator1->button(QStringLiteral("post"))->click();
                shownAfterPost = shown.text();
                ed->Button1->click(); // the row is still pending: refused again, the window stays
                stillWaiting = ed->waitmode;
            },
            [&]() {
                ed->DataSource1->cancel();
                ed->Button1->click();
            },
        });
        QCOMPARE(w.run(QStringLiteral("edit_table %1\r\ngo\r\n").arg(table)), QString());
        QVERIFY(!actions.timedOut());
        QCOMPARE(actions.done(), 2);
        QVERIFY(rows > 0);
        QVERIFY(!heldOpen);
        QVERIFY(stillWaiting);
        const QString line = QStringLiteral("rux_ppp: ") + readOnlyRefusal(file) + u'\n';
        QCOMPARE(shownAfterPost, line);
        QCOMPARE(shown.text(), line + line);
        w.main->access_con->Close();
        QCOMPARE(fileHash(file), before);
    }
};

QTEST_MAIN(TestAccessRuns)
#include "tst_accessruns.moc"
