// Access files in whole runs: an unattended run of the program on
// Northwind whose export matches the same query run by the sqlite3 shell on
// a copy made by mdbtools, a data-changing batch that fails and leaves the
// file as it was, and the table editor whose posted edit is refused by the
// failure display. Skips when the shared fixtures are absent.

#include "accessfixture.h"
#include "../runner/windowfixture.h"

#include "datagrid.h"
#include "dbnavigator.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>

#include <memory>

using namespace rux;
using namespace rux::test;

namespace {

constexpr int kTimeBoundMs = 60000;

using rux::test::fileHash;
using rux::test::fixture;

struct Outcome
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome runTool(const QString &program, const QStringList &arguments, const QString &workDir,
                const QByteArray &input = QByteArray(), const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    Outcome o;
    if (!process.waitForStarted(kTimeBoundMs))
        return o;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    o.finished = process.waitForFinished(kTimeBoundMs);
    if (!o.finished) {
        process.kill();
        process.waitForFinished(kTimeBoundMs);
    }
    o.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.out = process.readAllStandardOutput();
    o.err = process.readAllStandardError();
    return o;
}

QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
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
        QFile f(path(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path(name)));
        f.write(text);
        return path(name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_nwind = fixture(QStringLiteral("nwind.mdb"));
        if (!QFileInfo(m_nwind).isFile())
            QSKIP("the shared fixtures (" RUX_SHARED_DIR "/fixtures) are absent");
        QVERIFY(QFileInfo(QStringLiteral(RUX_BINARY)).isExecutable());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    void joinWithGroupingMatchesSqliteShell()
    {
        // The reference copy, made by mdbtools' own export into SQLite
        // (blobs left out: its SQLite export cannot write them).
        const QString copy = path(QStringLiteral("copy.db"));
        const Outcome schema = runTool(QStringLiteral("mdb-schema"), {m_nwind, QStringLiteral("sqlite")}, m_dir->path());
        QVERIFY2(schema.finished && schema.exitCode == 0, "mdb-schema (Debian mdbtools) did not run");
        QByteArray load = schema.out;
        const Outcome tables = runTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), m_nwind}, m_dir->path());
        QVERIFY(tables.finished && tables.exitCode == 0);
        for (const QString &table : QString::fromUtf8(tables.out).split(u'\n', Qt::SkipEmptyParts)) {
            const Outcome data = runTool(QStringLiteral("mdb-export"),
                                         {QStringLiteral("-I"), QStringLiteral("sqlite"), QStringLiteral("-b"),
                                          QStringLiteral("strip"), m_nwind, table}, m_dir->path());
            QVERIFY2(data.finished && data.exitCode == 0, qPrintable(table));
            load += data.out;
        }
        const Outcome loaded = runTool(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), copy}, m_dir->path(), load);
        QVERIFY2(loaded.finished && loaded.exitCode == 0, loaded.err.constData());

        const QString query = QString::fromLatin1(kOrdersPerCountry);
        const Outcome expected = runTool(QStringLiteral("sqlite3"),
                                         {QStringLiteral("-batch"), QStringLiteral("-noheader"), QStringLiteral("-list"),
                                          QStringLiteral("-separator"), QStringLiteral("    "),
                                          QStringLiteral("-newline"), QStringLiteral("    \r\n"), copy, query},
                                         m_dir->path());
        QVERIFY2(expected.finished && expected.exitCode == 0, expected.err.constData());
        QCOMPARE(expected.out.count("\r\n"), 21); // countries with orders

        const QString script = writeScript(QStringLiteral("countries.sql"),
                                           QByteArray(kOrdersPerCountry) + "totxt countries.txt\r\ngo\r\n");
        const Outcome run = runTool(QStringLiteral(RUX_BINARY),
                                    {QStringLiteral("DB=") + m_nwind, QStringLiteral("SQL=") + script, QStringLiteral("GO")},
                                    m_dir->path(), QByteArray(), headless());
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(fileBytes(path(QStringLiteral("countries.txt"))), expected.out);
    }

    void dataChangingBatchFails()
    {
        const QString file = writableCopy(QStringLiteral("Nordwind Kopie.mdb"));
        const QByteArray before = fileHash(file);
        const QString script = writeScript(QStringLiteral("change.sql"),
            "select count(*) from Orders\r\ntotxt before.txt\r\ngo\r\n"
            "update Orders set Freight = Freight * 2 where OrderID = 10248\r\ngo\r\n"
            "select count(*) from Orders\r\ntotxt after.txt\r\ngo\r\n");
        const Outcome run = runTool(QStringLiteral(RUX_BINARY),
                                    {QStringLiteral("DB=") + file, QStringLiteral("SQL=") + script, QStringLiteral("GO")},
                                    m_dir->path(), QByteArray(), headless());
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(QString::fromUtf8(run.err).contains(
                     QStringLiteral("rux_ppp: Cannot update. The Access file '%1' is opened read-only on this platform.\n")
                         .arg(file)),
                 run.err.constData());
        QCOMPARE(fileBytes(path(QStringLiteral("before.txt"))), QByteArray("830    \r\n"));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("after.txt")))); // the run ended at the failure
        QCOMPARE(fileHash(file), before);
    }

    // The table editor shows an Access table; an edit posted there is
    // refused with the read-only error through the failure display, the
    // window stays, and the file is not touched, nor held open while the
    // rows are shown.
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
        const QString line = QStringLiteral("rux_ppp: Cannot update. The Access file '%1' is opened read-only on this platform.\n")
                                 .arg(file);
        QCOMPARE(shownAfterPost, line);
        QCOMPARE(shown.text(), line + line);
        w.main->access_con->Close();
        QCOMPARE(fileHash(file), before);
    }
};

QTEST_MAIN(TestAccessRuns)
#include "tst_accessruns.moc"
