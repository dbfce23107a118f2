// Bad input and faults, run for real on the built program without a screen.
// Every case checks three things: the failure is reported (one line on
// standard error, exit status 1 for the unattended run; cases that are no
// failure by the rules report nothing and end with 0), nothing else is
// damaged (every file that was there is byte-identical afterwards unless the
// case names it, no file appears that the case does not name, and the
// database passes PRAGMA integrity_check), and the program neither crashed
// nor hung (a time bound on each run).
//
// Cases about permissions need a user whom permissions stop. When the tests
// run as root (as CI does), the program is started as the unprivileged user
// 65534 for those cases, with the case's folder handed over to that user.

#include "script/paramcells.h"
#include "tests/support/filesnapshot.h"
#include "tests/support/otherconnection.h"
#include "tests/support/ownmount.h"
#include "tests/support/processrun.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rux::test;

namespace {

// Generous: a case that needs more than this has hung. The sanitizer build
// runs several times slower than the plain one.
constexpr int kTimeBoundMs = 180000;
constexpr uid_t kUnprivileged = 65534;
// The child's exit status when it could not become the unprivileged user.
constexpr int kCannotDropStatus = 125;

// Runs SQL through a connection of its own; `readOnly` never creates or
// changes the file. Rows joined by ",", fields by "|".
QString caseValues(const QString &dbFile, const QString &sql, bool readOnly = true)
{
    if (readOnly && !QFileInfo(dbFile).isFile())
        return QStringLiteral("<no file>");
    return rux::test::sqlValues(dbFile, sql, rux::test::OtherOptions{readOnly, 5000});
}

QString integrity(const QString &dbFile)
{
    return caseValues(dbFile, QStringLiteral("pragma integrity_check"));
}

void makeCaseDatabase(const QString &dbFile)
{
    makeDatabase(dbFile, {QStringLiteral("create table t (id integer primary key, name text)"),
                          QStringLiteral("insert into t values (1, 'a'), (2, 'b')"),
                          QStringLiteral("create table log (v text)")});
}

using Outcome = ProcessOutcome;

// A sanitizer's report, or the runtime's own abort message.
bool sanitizerReported(const QString &err)
{
    return err.contains(QLatin1String("Sanitizer")) || err.contains(QLatin1String("runtime error:"));
}

QStringList failureLines(const QString &err)
{
    QStringList lines;
    for (const QString &line : err.split(u'\n')) {
        if (line.startsWith(QLatin1String("rux_ppp: ")))
            lines.append(line);
    }
    return lines;
}

// One case's folder: the standard database, the files the case makes, and
// what stood there before the run.
class CaseDir
{
public:
    explicit CaseDir(const QString &root) : m_root(root) { db = path(QStringLiteral("test.db")); }

    QString path(const QString &relative) const { return QDir(m_root).filePath(relative); }
    QString root() const { return m_root; }

    // The database the case's checks look at; the standard one unless the
    // case puts it elsewhere.
    QString db;

    QString write(const QString &relative, const QByteArray &bytes)
    {
        return makeFile(path(relative), bytes);
    }
    QString folder(const QString &relative)
    {
        QDir().mkpath(path(relative));
        return path(relative);
    }
    QString database(const QString &relative)
    {
        db = path(relative);
        QDir().mkpath(QFileInfo(db).absolutePath());
        makeCaseDatabase(db);
        return db;
    }
    void chmod(const QString &relative, mode_t mode)
    {
        ::chmod(QFile::encodeName(path(relative)).constData(), mode);
    }

    // Held for the time of the run (a lock taken by another process, say);
    // released before the checks.
    std::shared_ptr<void> held;

private:
    QString m_root;
};

struct Case
{
    // Makes the case's files; returns the program's arguments.
    std::function<QStringList(CaseDir &)> prepare;
    int exitCode = 1;
    // The failure line without the program's title; empty when the run
    // reports nothing.
    std::function<QString(CaseDir &)> reported;
    // The log table of the case's database afterwards (values by rowid).
    QString log;
    // Entries (relative names) the run may change or create.
    QStringList changes;
    bool unprivileged = false;
    // The program's home folder (relative name), when the case needs to
    // know it; a folder outside the case's otherwise.
    QString home;
    // Taken after preparation and the snapshot, dropped after the run.
    std::function<std::shared_ptr<void>(CaseDir &)> hold;
    // Further checks after the run.
    std::function<void(CaseDir &, const Outcome &)> verify;
};

QStringList standardRun(CaseDir &d, const QString &script)
{
    return {QStringLiteral("DB=") + d.db, QStringLiteral("SQL=") + script, QStringLiteral("GO")};
}

// The failure line of a case: a text, with the full path of the case's file
// `relative` in place of its "%1" when one is named.
std::function<QString(CaseDir &)> reports(const QString &text, const QString &relative = {})
{
    return [text, relative](CaseDir &d) { return relative.isEmpty() ? text : text.arg(d.path(relative)); };
}

// A run that fails with `reported` and changes nothing.
Case failing(std::function<QStringList(CaseDir &)> prepare, std::function<QString(CaseDir &)> reported)
{
    Case c;
    c.prepare = std::move(prepare);
    c.reported = std::move(reported);
    return c;
}

const QByteArray kInsertX = "insert into log values ('x')\r\ngo\r\n";

} // namespace

Q_DECLARE_METATYPE(Case)

class TestFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_suite;
    std::unique_ptr<QTemporaryDir> m_case;
    bool m_canDrop = false;
    QString m_dropProblem;

    QProcessEnvironment environment(bool unprivileged) const
    {
        QProcessEnvironment env = screenlessEnvironment();
        // A home and a runtime folder of the user the program runs as,
        // outside the case's folder.
        const QString who = unprivileged && isRoot() ? QStringLiteral("nobody") : QStringLiteral("self");
        env.insert(QStringLiteral("HOME"), m_suite->filePath(who + QStringLiteral("-home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_suite->filePath(who + QStringLiteral("-runtime")));
        return env;
    }

    Outcome run(const QStringList &arguments, bool unprivileged, int mask = -1,
                const QProcessEnvironment *env = nullptr, const QString &program = programBinary(),
                const std::function<void(QProcess &)> &whileRunning = {})
    {
        ProcessRun run;
        run.program = program;
        run.arguments = arguments;
        run.environment = env ? *env : environment(unprivileged);
        run.workingDirectory = m_case->path();
        run.timeoutMs = kTimeBoundMs;
        run.whileRunning = whileRunning;
        const bool drop = unprivileged && isRoot();
        run.childSetup = [drop, mask]() {
            if (mask >= 0)
                ::umask(mode_t(mask));
            if (drop
                && (::setgroups(0, nullptr) != 0 || ::setresgid(kUnprivileged, kUnprivileged, kUnprivileged) != 0
                    || ::setresuid(kUnprivileged, kUnprivileged, kUnprivileged) != 0))
                ::_exit(kCannotDropStatus);
        };
        return runProcess(run);
    }

    void newCaseDir()
    {
        m_case = std::make_unique<QTemporaryDir>(m_suite->filePath(QStringLiteral("case-XXXXXX")));
        QVERIFY(m_case->isValid());
        // Reachable by the unprivileged user when it is handed over.
        ::chmod(QFile::encodeName(m_case->path()).constData(), 0755);
    }

    // The three checks every case makes, on a run made by `c`.
    void runCase(const Case &c)
    {
        if (c.unprivileged && isRoot() && !m_canDrop)
            QSKIP(qPrintable(QStringLiteral("runs as root and cannot start the program as another user, "
                                            "so permissions cannot deny anything: ")
                             + m_dropProblem));
        CaseDir d(m_case->path());
        d.database(QStringLiteral("test.db"));
        const QStringList arguments = c.prepare(d);
        if (c.unprivileged && isRoot())
            chownTree(d.root(), kUnprivileged);
        const Snapshot before = snapshot(d.root());
        if (c.hold)
            d.held = c.hold(d);

        QProcessEnvironment env = environment(c.unprivileged);
        if (!c.home.isEmpty())
            env.insert(QStringLiteral("HOME"), d.path(c.home));
        const Outcome o = run(arguments, c.unprivileged, -1, &env);
        d.held.reset();

        // No crash, no hang.
        QVERIFY2(o.started, "the program did not start");
        QVERIFY2(o.finished, qPrintable(QStringLiteral("no end within %1 s").arg(kTimeBoundMs / 1000)));
        QVERIFY2(!o.crashed, qPrintable(o.err));
        QVERIFY2(!sanitizerReported(o.err), qPrintable(o.err));

        // Reported: one failure line with the expected text, or none.
        const QString expected = c.reported ? c.reported(d) : QString();
        const QStringList lines = failureLines(o.err);
        if (expected.isEmpty()) {
            QVERIFY2(lines.isEmpty(), qPrintable(o.err));
        } else {
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines.constFirst().startsWith(QStringLiteral("rux_ppp: ") + expected),
                     qPrintable(lines.constFirst() + QStringLiteral("\nexpected: ") + expected));
        }
        QCOMPARE(o.exitCode, c.exitCode);

        // Nothing else damaged.
        const Snapshot after = snapshot(d.root());
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (c.changes.contains(it.key()))
                continue;
            QVERIFY2(after.contains(it.key()), qPrintable(it.key() + QStringLiteral(" is gone")));
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key() + QStringLiteral(" changed")));
        }
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            QVERIFY2(before.contains(it.key()) || c.changes.contains(it.key()),
                     qPrintable(it.key() + QStringLiteral(" appeared")));
        }
        if (QFileInfo(d.db).isFile() && fileBytes(d.db).startsWith("SQLite format 3")) {
            QCOMPARE(integrity(d.db), QStringLiteral("ok"));
            QCOMPARE(caseValues(d.db, QStringLiteral("select v from log order by rowid")), c.log);
        }
        if (c.verify)
            c.verify(d, o);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_suite = std::make_unique<QTemporaryDir>();
        QVERIFY(m_suite->isValid());
        ::chmod(QFile::encodeName(m_suite->path()).constData(), 0755);
        for (const char *who : {"self", "nobody"}) {
            for (const char *what : {"-home", "-runtime"}) {
                const QString p = m_suite->filePath(QString::fromLatin1(who) + QString::fromLatin1(what));
                QVERIFY(QDir().mkpath(p));
                ::chmod(QFile::encodeName(p).constData(), 0700);
                if (isRoot() && qstrcmp(who, "nobody") == 0)
                    ::chown(QFile::encodeName(p).constData(), kUnprivileged, kUnprivileged);
            }
        }
        if (isRoot()) {
            // Can the program run as the unprivileged user at all (rights
            // to drop, a program path that user may reach)?
            newCaseDir();
            const Outcome o = run({QStringLiteral("--version")}, true);
            m_canDrop = o.finished && o.exitCode == 0;
            if (!m_canDrop)
                m_dropProblem = o.exitCode == kCannotDropStatus
                    ? QStringLiteral("setresuid to %1 is refused").arg(kUnprivileged)
                    : QStringLiteral("the program does not run as uid %1 (%2)").arg(kUnprivileged).arg(o.err);
            m_case.reset();
        }
    }

    void init() { newCaseDir(); }

    void cleanup()
    {
        if (m_case) {
            restoreRights(m_case->path());
            m_case.reset();
        }
    }

    void faults_data()
    {
        QTest::addColumn<Case>("c");

        // ---- script files ------------------------------------------------
        const QString cannotOpen = QStringLiteral("Datei %1 kann nicht geöffnet werden. ");
        QTest::newRow("script_missing")
            << failing([](CaseDir &d) { return standardRun(d, d.path(QStringLiteral("missing.sql"))); },
                       reports(cannotOpen + QStringLiteral("No such file or directory"), QStringLiteral("missing.sql")));
        QTest::newRow("script_folder")
            << failing([](CaseDir &d) { return standardRun(d, d.folder(QStringLiteral("folder.sql"))); },
                       reports(cannotOpen + QStringLiteral("Is a directory"), QStringLiteral("folder.sql")));
        {
            Case c = failing(
                [](CaseDir &d) {
                    const QString s = d.write(QStringLiteral("secret.sql"), kInsertX);
                    d.chmod(QStringLiteral("secret.sql"), 0);
                    return standardRun(d, s);
                },
                reports(cannotOpen + QStringLiteral("Permission denied"), QStringLiteral("secret.sql")));
            c.unprivileged = true;
            QTest::newRow("script_unreadable") << c;
        }
        {
            // An empty script is no failure: the editor is empty and no
            // batch runs.
            Case c;
            c.exitCode = 0;
            c.prepare = [](CaseDir &d) { return standardRun(d, d.write(QStringLiteral("empty.sql"), {})); };
            QTest::newRow("script_empty") << c;
        }
        const QString cannotRead = QStringLiteral("Datei %1 kann nicht gelesen werden: ungültiger ");
        QTest::newRow("script_invalid_utf8_after_mark") << failing(
            [](CaseDir &d) {
                return standardRun(d, d.write(QStringLiteral("bad8.sql"),
                                              "\xEF\xBB\xBF" + kInsertX + "insert into log values ('\xC3\x28')\r\n"));
            },
            reports(cannotRead + QStringLiteral("UTF-8-Text"), QStringLiteral("bad8.sql")));
        QTest::newRow("script_odd_utf16_byte_count") << failing(
            [](CaseDir &d) {
                QByteArray bytes("\xFF\xFE");
                for (char ch : kInsertX) {
                    bytes.append(ch);
                    bytes.append('\0');
                }
                bytes.append('g');
                return standardRun(d, d.write(QStringLiteral("odd16.sql"), bytes));
            },
            reports(cannotRead + QStringLiteral("UTF-16-Text"), QStringLiteral("odd16.sql")));
        {
            // The text ends at the first NUL: what stands before it runs,
            // nothing after it.
            Case c;
            c.exitCode = 0;
            c.log = QStringLiteral("a");
            c.changes = {QStringLiteral("test.db")};
            c.prepare = [](CaseDir &d) {
                return standardRun(d, d.write(QStringLiteral("nul.sql"),
                                              QByteArray("insert into log values ('a')\r\ngo\r\n\0"
                                                         "insert into log values ('b')\r\ngo\r\n",
                                                         68)));
            };
            QTest::newRow("script_nul_bytes") << c;
        }
        {
            Case c;
            c.exitCode = 0;
            c.changes = {QStringLiteral("test.db")};
            c.prepare = [](CaseDir &d) {
                QByteArray line = "insert into log values ('" + QByteArray(10 * 1024 * 1024, 'x') + "')";
                return standardRun(d, d.write(QStringLiteral("long.sql"), line + "\r\ngo\r\n"));
            };
            c.verify = [](CaseDir &d, const Outcome &) {
                QCOMPARE(caseValues(d.db, QStringLiteral("select length(v) from log")),
                         QString::number(10 * 1024 * 1024));
            };
            // The log holds one value of 10 MiB; compared by its length.
            c.log = QString(10 * 1024 * 1024, u'x');
            QTest::newRow("script_10mb_single_line") << c;
        }
        {
            // 1,000,000 lines: comments, dropped and empty lines, with a
            // one-row batch in every thousand lines.
            Case c;
            c.exitCode = 0;
            c.changes = {QStringLiteral("test.db")};
            QStringList values;
            for (int i = 998; i < 1000000; i += 1000)
                values.append(QString::number(i));
            c.log = values.join(u',');
            c.prepare = [](CaseDir &d) {
                QByteArray text;
                text.reserve(16 * 1024 * 1024);
                for (int i = 0; i < 1000000; ++i) {
                    if (i % 1000 == 998)
                        text += "insert into log values ('" + QByteArray::number(i) + "')";
                    else if (i % 1000 == 999)
                        text += "go";
                    else if (i % 3 == 0)
                        text += "' comment line " + QByteArray::number(i);
                    else if (i % 3 == 2)
                        text += "# dropped line " + QByteArray::number(i);
                    text += "\r\n";
                }
                return standardRun(d, d.write(QStringLiteral("million.sql"), text));
            };
            QTest::newRow("script_1000000_lines") << c;
        }

        // ---- databases ---------------------------------------------------
        const auto insertScript = [](CaseDir &d) { return d.write(QStringLiteral("s.sql"), kInsertX); };
        QTest::newRow("db_missing") << failing(
            [insertScript](CaseDir &d) {
                d.db = d.path(QStringLiteral("missing.db"));
                return standardRun(d, insertScript(d));
            },
            reports(QStringLiteral("Could not find file '%1'."), QStringLiteral("missing.db")));
        QTest::newRow("db_folder") << failing(
            [insertScript](CaseDir &d) {
                d.db = d.folder(QStringLiteral("folder.db"));
                return standardRun(d, insertScript(d));
            },
            reports(QStringLiteral("'%1' is a folder, not a database file."), QStringLiteral("folder.db")));
        const QString unrecognized = QStringLiteral("Unrecognized database format '%1'.");
        QTest::newRow("db_not_a_database") << failing(
            [insertScript](CaseDir &d) {
                QByteArray text;
                for (int i = 0; i < 200; ++i)
                    text += "these are not the pages of a database\n";
                d.db = d.write(QStringLiteral("text.db"), text);
                return standardRun(d, insertScript(d));
            },
            reports(unrecognized, QStringLiteral("text.db")));
        // The engine would take an empty file for a new database and write
        // one into it; it is refused and stays empty.
        QTest::newRow("db_zero_bytes") << failing(
            [insertScript](CaseDir &d) {
                d.db = d.write(QStringLiteral("zero.db"), {});
                return standardRun(d, insertScript(d));
            },
            reports(unrecognized, QStringLiteral("zero.db")));
        {
            // Reads work (the export holds the rows), the write fails with
            // the engine's error and the file stays as it was.
            Case c;
            c.unprivileged = true;
            c.changes = {QStringLiteral("out.txt")};
            c.prepare = [](CaseDir &d) {
                d.chmod(QStringLiteral("test.db"), 0444);
                return standardRun(d, d.write(QStringLiteral("ro.sql"),
                                              "select name from t order by id totxt out.txt\r\ngo\r\n" + kInsertX));
            };
            c.reported = reports(QStringLiteral("attempt to write a readonly database"));
            c.verify = [](CaseDir &d, const Outcome &) {
                QCOMPARE(fileBytes(d.path(QStringLiteral("out.txt"))), QByteArray("a    \r\nb    \r\n"));
            };
            QTest::newRow("db_read_only_file") << c;
        }
        {
            // Another process holds a write transaction: the program's write
            // waits out the busy timeout and fails; the reads before it work.
            Case c;
            c.changes = {QStringLiteral("out.txt")};
            c.prepare = [](CaseDir &d) {
                return standardRun(d, d.write(QStringLiteral("lock.sql"),
                                              "select name from t order by id totxt out.txt\r\ngo\r\n" + kInsertX));
            };
            c.hold = [](CaseDir &d) -> std::shared_ptr<void> {
                auto holder = std::make_shared<OtherConnection>(d.db);
                const QString failed = holder->run({QStringLiteral("begin immediate"),
                                                    QStringLiteral("insert into log values ('holder')")});
                if (!failed.isEmpty())
                    qFatal("holder: %s", qPrintable(failed));
                return std::shared_ptr<void>(holder.get(), [holder](void *) {
                    holder->run({QStringLiteral("rollback")});
                });
            };
            c.reported = reports(QStringLiteral("database is locked"));
            c.verify = [](CaseDir &d, const Outcome &o) {
                QCOMPARE(fileBytes(d.path(QStringLiteral("out.txt"))), QByteArray("a    \r\nb    \r\n"));
                // It waited for the other writer (5 s busy timeout), then gave up.
                QVERIFY2(o.elapsedMs >= 4500, qPrintable(QString::number(o.elapsedMs)));
            };
            QTest::newRow("db_locked_by_writer") << c;
        }
        const auto worksAt = [insertScript](const QString &relative) {
            Case c;
            c.exitCode = 0;
            c.log = QStringLiteral("x");
            c.changes = {relative};
            c.prepare = [insertScript, relative](CaseDir &d) {
                d.database(relative);
                return standardRun(d, insertScript(d));
            };
            return c;
        };
        QTest::newRow("db_path_with_blanks") << worksAt(QStringLiteral("my results/day one.db"));
        QTest::newRow("db_path_non_ascii") << worksAt(QStringLiteral("Ergebnisse Umsätze/überprüft_日本.db"));
        const auto semicolon = [insertScript](const QString &relative, const QString &decoy, const QString &near) {
            // The part before the ";" names a database as well: it must not
            // be opened in place of the named file.
            return failing(
                [insertScript, relative, decoy](CaseDir &d) {
                    d.database(decoy);
                    d.database(relative);
                    return standardRun(d, insertScript(d));
                },
                reports(QStringLiteral("Format of the connection string is invalid near \"%1\".").arg(near)));
        };
        QTest::newRow("db_path_with_semicolon")
            << semicolon(QStringLiteral("day;one.db"), QStringLiteral("day"), QStringLiteral("one.db "));
        QTest::newRow("db_path_with_semicolon_and_unknown_key")
            << semicolon(QStringLiteral("a;b=c.db"), QStringLiteral("a"), QStringLiteral("b=c.db "));
        QTest::newRow("db_path_with_semicolon_and_known_key")
            << semicolon(QStringLiteral("a;mode=b.db"), QStringLiteral("a"), QStringLiteral("Mode=Share Deny None"));
        QTest::newRow("db_path_with_semicolon_and_password")
            << semicolon(QStringLiteral("a;password=b.db"), QStringLiteral("a"), QStringLiteral("password=b.db "));
        QTest::newRow("db_path_with_semicolon_and_flag")
            << semicolon(QStringLiteral("a;Persist Security Info=False"), QStringLiteral("a"),
                         QStringLiteral("Persist Security Info=False "));

        // ---- export ------------------------------------------------------
        // The export fails, the run ends there: the batch after it does not run.
        const auto exportTo = [](const QString &target, const QString &reported) {
            return failing(
                [target](CaseDir &d) {
                    return standardRun(d, d.write(QStringLiteral("e.sql"),
                                                  "select name from t order by id totxt " + target.toUtf8()
                                                      + "\r\ngo\r\ninsert into log values ('after')\r\ngo\r\n"));
                },
                reports(reported));
        };
        QTest::newRow("export_into_missing_folder")
            << exportTo(QStringLiteral("nosuch/out.txt"), QStringLiteral("Ungültiger Dateiname - %s"));
        {
            Case c = exportTo(QStringLiteral("locked/out.txt"), QStringLiteral("Dateizugriff verweigert"));
            c.unprivileged = true;
            const auto prepare = c.prepare;
            c.prepare = [prepare](CaseDir &d) {
                d.folder(QStringLiteral("locked"));
                d.chmod(QStringLiteral("locked"), 0555);
                return prepare(d);
            };
            QTest::newRow("export_into_read_only_folder") << c;
        }
        {
            Case c = exportTo(QStringLiteral("out.txt"), QStringLiteral("Dateizugriff verweigert"));
            const auto prepare = c.prepare;
            c.prepare = [prepare](CaseDir &d) {
                d.folder(QStringLiteral("out.txt"));
                d.write(QStringLiteral("out.txt/inside"), "kept");
                return prepare(d);
            };
            QTest::newRow("export_onto_folder_name") << c;
        }
        QTest::newRow("export_disk_full")
            << exportTo(QStringLiteral("/dev/full"), QStringLiteral("Zu wenig Speicherplatz"));
        QTest::newRow("export_name_of_260_characters")
            << exportTo(QString(256, u'n') + QStringLiteral(".txt"), QStringLiteral("Ungültiger Dateiname - %s"));
        {
            // 259 characters is still a name (in folders, as no single
            // file name may be that long here).
            const QString name = QString(120, u'a') + u'/' + QString(120, u'b') + u'/' + QString(13, u'c')
                + QStringLiteral(".txt");
            Case c = exportTo(name, QString());
            c.exitCode = 0;
            c.log = QStringLiteral("after");
            c.changes = {QStringLiteral("test.db"), name};
            const auto prepare = c.prepare;
            c.prepare = [prepare, name](CaseDir &d) {
                d.folder(QFileInfo(name).path());
                return prepare(d);
            };
            c.verify = [name](CaseDir &d, const Outcome &) {
                QCOMPARE(name.size(), 259);
                QCOMPARE(fileBytes(d.path(name)), QByteArray("a    \r\nb    \r\n"));
            };
            QTest::newRow("export_name_of_259_characters") << c;
        }

        // ---- command line ------------------------------------------------
        const QByteArray logScript = "insert into log values ('[$p1]')\r\ngo\r\ninsert into log values ('[%rid%]')\r\ngo\r\n";
        QTest::newRow("cmd_more_than_10_parameters") << failing(
            [logScript](CaseDir &d) {
                QStringList a = standardRun(d, d.write(QStringLiteral("p.sql"), logScript));
                for (int i = 1; i <= rux::kMaxParamRows + 1; ++i)
                    a.append(QStringLiteral("$p%1=%1").arg(i));
                return a;
            },
            reports(rux::tooManyParametersText()));
        {
            Case c;
            c.exitCode = 0;
            c.log = QStringLiteral("[1],[-999]");
            c.changes = {QStringLiteral("test.db")};
            c.prepare = [logScript](CaseDir &d) {
                QStringList a = standardRun(d, d.write(QStringLiteral("p.sql"), logScript));
                for (int i = 1; i <= rux::kMaxParamRows; ++i)
                    a.append(QStringLiteral("$p%1=%1").arg(i));
                return a;
            };
            QTest::newRow("cmd_10_parameters") << c;
        }
        {
            // An empty value is a value: "$p1=" puts nothing in place of
            // the name, "ERR_P=" nothing in place of %rid%.
            Case c;
            c.exitCode = 0;
            c.log = QStringLiteral("[],[]");
            c.changes = {QStringLiteral("test.db")};
            c.prepare = [logScript](CaseDir &d) {
                return QStringList{QStringLiteral("DB=") + d.db,
                                   QStringLiteral("SQL=") + d.write(QStringLiteral("p.sql"), logScript),
                                   QStringLiteral("ERR_P="), QStringLiteral("$p1="), QStringLiteral("GO")};
            };
            QTest::newRow("cmd_empty_values") << c;
        }
        // "SQL=" with nothing after it loads nothing; the run executes the
        // editor's text as it stands (a single blank), which holds no
        // statement.
        QTest::newRow("cmd_empty_sql") << failing(
            [](CaseDir &d) {
                return QStringList{QStringLiteral("DB=") + d.db, QStringLiteral("SQL="), QStringLiteral("GO")};
            },
            reports(QStringLiteral("Invalid SQL statement: the command text holds no statement.")));
        QTest::newRow("cmd_db_with_nothing_after_it") << failing(
            [insertScript](CaseDir &d) {
                return QStringList{QStringLiteral("DB="), QStringLiteral("SQL=") + insertScript(d),
                                   QStringLiteral("GO")};
            },
            reports(QStringLiteral("Could not find file ''.")));
        {
            // Arguments that match none of the five tests are left alone
            // (those with two dashes are the program's options).
            Case c;
            c.exitCode = 0;
            c.log = QStringLiteral("x");
            c.changes = {QStringLiteral("test.db")};
            c.prepare = [insertScript](CaseDir &d) {
                return QStringList{QStringLiteral("-frobnicate"), QStringLiteral("DB=") + d.db,
                                   QStringLiteral("FOO=bar"), QStringLiteral("SQL=") + insertScript(d),
                                   QStringLiteral("-x"), QStringLiteral("GOO"), QStringLiteral("DB"),
                                   QStringLiteral("ERR_P"), QString(), QStringLiteral("GO")};
            };
            QTest::newRow("cmd_unknown_arguments") << c;
        }

        // ---- safety ------------------------------------------------------
        // Extension loading is off in the engine.
        QTest::newRow("safety_load_extension_refused") << failing(
            [](CaseDir &d) {
                return standardRun(d, d.write(QStringLiteral("ext.sql"), "select load_extension('libm.so.6')\r\n"));
            },
            reports(QStringLiteral("not authorized")));
        {
            // Names reach the file system as they are: "$HOME", "*", "~"
            // and backticks mean nothing. The files that an expansion would
            // name stand ready as decoys and stay untouched.
            Case c;
            c.exitCode = 0;
            c.home = QStringLiteral("home");
            c.log = QStringLiteral("ran");
            c.changes = {QStringLiteral("$HOME.db"), QStringLiteral("~/out.txt"), QStringLiteral("`id`.txt"),
                         QStringLiteral("*.txt")};
            c.prepare = [](CaseDir &d) {
                d.database(QStringLiteral("home.db"));          // $HOME.db, expanded
                d.write(QStringLiteral("a.sql"), kInsertX);     // *.sql, expanded
                d.write(QStringLiteral("a.txt"), "decoy");      // *.txt, expanded
                d.folder(QStringLiteral("home"));               // ~, expanded
                d.folder(QStringLiteral("~"));
                const QString script = d.write(QStringLiteral("*.sql"),
                                               "select name from t order by id totxt ~/out.txt\r\ngo\r\n"
                                               "select name from t order by id totxt `id`.txt\r\ngo\r\n"
                                               "select name from t order by id totxt *.txt\r\ngo\r\n"
                                               "insert into log values ('ran')\r\ngo\r\n");
                d.database(QStringLiteral("$HOME.db"));
                return QStringList{QStringLiteral("DB=$HOME.db"), QStringLiteral("SQL=*.sql"),
                                   QStringLiteral("GO")};
            };
            c.verify = [](CaseDir &d, const Outcome &) {
                for (const char *name : {"~/out.txt", "`id`.txt", "*.txt"})
                    QCOMPARE(fileBytes(d.path(QString::fromLatin1(name))), QByteArray("a    \r\nb    \r\n"));
                QCOMPARE(caseValues(d.path(QStringLiteral("home.db")), QStringLiteral("select count(*) from log")),
                         QStringLiteral("0"));
            };
            QTest::newRow("safety_no_expansion_in_names") << c;
        }
    }

    void faults()
    {
        QFETCH(Case, c);
        runCase(c);
    }

    // A process killed in the middle of a long data-changing script: the
    // database opens afterwards, passes the integrity check, and every
    // batch is wholly in it or not at all.
    void killedMidScript_data()
    {
        // The kill lands in batch 3, early, half way or late in it (as a
        // share of the time batch 2 took).
        QTest::addColumn<int>("percent");
        QTest::newRow("early_in_a_batch") << 5;
        QTest::newRow("half_way_through_a_batch") << 50;
        QTest::newRow("late_in_a_batch") << 90;
    }

    void killedMidScript()
    {
        QFETCH(int, percent);
        // More rows than the engine's page cache holds: a batch writes pages
        // into the database file before it commits, so a kill can leave a
        // half-written file with a hot journal, not only an unwritten cache.
        constexpr int kRowsPerBatch = 300000;
        CaseDir d(m_case->path());
        d.database(QStringLiteral("test.db"));
        QCOMPARE(caseValues(d.db, QStringLiteral("create table k (b integer, n integer)"), false), QString());
        QByteArray script;
        for (int b = 1; b <= 100; ++b) {
            script += "insert into k (b, n) with recursive c(n) as (select 1 union all select n + 1 from c where n < "
                + QByteArray::number(kRowsPerBatch) + ") select " + QByteArray::number(b) + ", n from c\r\ngo\r\n";
        }
        const QString sql = d.write(QStringLiteral("long.sql"), script);

        bool killed = false;
        QByteArray journalMark;
        const Outcome o = run(standardRun(d, sql), false, -1, nullptr, programBinary(),
                              [&](QProcess &process) {
            QElapsedTimer waited;
            waited.start();
            qint64 firstDone = -1;
            while (waited.elapsed() < kTimeBoundMs && process.state() == QProcess::Running) {
                const int done = caseValues(d.db, QStringLiteral("select count(distinct b) from k")).toInt();
                if (done >= 1 && firstDone < 0)
                    firstDone = waited.elapsed();
                if (done >= 2) {
                    QThread::msleep((waited.elapsed() - firstDone) * percent / 100);
                    process.kill(); // SIGKILL
                    killed = true;
                    break;
                }
                QThread::msleep(5);
            }
            process.waitForFinished(kTimeBoundMs);
            journalMark = fileBytes(d.db + QStringLiteral("-journal")).left(8);
        });
        QVERIFY2(killed, qPrintable(QStringLiteral("not killed; ") + o.err));
        QVERIFY(o.crashed);
        // A journal that starts with its mark is hot: the killed batch had
        // written into the database file. A zeroed start means nothing had
        // reached the file yet.
        qInfo("killed %d%% into a batch; journal left: %s", percent,
              journalMark.startsWith("<unread") ? "none"
              : journalMark == QByteArray::fromHex("d9d505f920a163d7") ? "hot" : "cold");

        // The program itself opens the database again first (rolling back
        // what the killed run left half done) and reads it.
        const QString check = d.write(QStringLiteral("check.sql"),
                                      "select count(*) from k totxt count.txt\r\ngo\r\n");
        const qint64 sizeBefore = QFileInfo(d.db).size();
        const Outcome again = run(standardRun(d, check), false);
        qInfo("database %lld bytes before the next open, %lld after", sizeBefore, QFileInfo(d.db).size());
        QVERIFY(again.finished);
        QVERIFY2(again.exitCode == 0, qPrintable(again.err));
        // A journal the killed run left may stay behind once the engine has
        // found it holds nothing to roll back; the database is what counts.
        qInfo("journal after the next open: %s",
              QFileInfo::exists(d.db + QStringLiteral("-journal"))
                  ? qPrintable(QStringLiteral("%1 bytes").arg(QFileInfo(d.db + QStringLiteral("-journal")).size()))
                  : "none");
        QCOMPARE(integrity(d.db), QStringLiteral("ok"));

        // Whole batches only, and in order: batches 1..m, each complete.
        QCOMPARE(caseValues(d.db, QStringLiteral("select b from k group by b having count(*) <> %1")
                                     .arg(kRowsPerBatch)),
                 QString());
        const QStringList span = caseValues(d.db, QStringLiteral("select count(distinct b), min(b), max(b), "
                                                                "count(*) from k"))
                                     .split(u'|');
        QCOMPARE(span.size(), 4);
        const int batches = span[0].toInt();
        QVERIFY2(batches >= 2, qPrintable(span.join(u' ')));
        QCOMPARE(span[1].toInt(), 1);
        QCOMPARE(span[2].toInt(), batches);
        QCOMPARE(fileBytes(d.path(QStringLiteral("count.txt"))),
                 span[3].toLatin1() + QByteArray("    \r\n"));
    }

    // SIGKILL at random points of a run in one transaction that exports,
    // many times over with a fixed seed. Whatever the point, the next run
    // leaves no staged file, and the database and the export files are
    // both the run's or both as they were (a run killed after its commit
    // has its exports placed by the next run).
    void killedSingleTransactionRuns()
    {
        constexpr int kTrials = 30;
        constexpr int kRows = 200000;
        CaseDir d(m_case->path());
        const QStringList exports = {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")};
        const QString sql = d.write(
            QStringLiteral("run.sql"),
            "insert into k (n) with recursive c(n) as (select 1 union all select n + 1 from c where n < "
                + QByteArray::number(kRows)
                + ") select n from c\r\ngo\r\n"
                  "select n from k totxt a.txt\r\ngo\r\n"
                  "update k set n = n * 2\r\ngo\r\n"
                  "select count(*), sum(n) from k totxt b.txt\r\ngo\r\n"
                  "select n from k order by n desc totxt c.txt\r\ngo\r\n");
        const QString next = d.write(QStringLiteral("next.sql"), "select count(*) from k totxt count.txt\r\ngo\r\n");
        const QStringList arguments{QStringLiteral("--single-transaction"), QStringLiteral("DB=") + d.db,
                                    QStringLiteral("SQL=") + sql, QStringLiteral("GO")};
        const auto reset = [&]() {
            QFile::remove(d.db);
            QFile::remove(d.db + QStringLiteral("-journal"));
            QCOMPARE(caseValues(d.db, QStringLiteral("create table k (n integer)"), false), QString());
            for (const QString &e : exports)
                d.write(e, "old");
        };

        // The whole run once: what it exports, and how long it takes.
        reset();
        QElapsedTimer clock;
        clock.start();
        const Outcome whole = run(arguments, false);
        const qint64 wholeMs = clock.elapsed();
        QVERIFY2(whole.exitCode == 0, qPrintable(whole.err));
        QMap<QString, QByteArray> exported;
        for (const QString &e : exports)
            exported[e] = fileBytes(d.path(e));

        QRandomGenerator random(20261210);
        int kept = 0;
        int takenBack = 0;
        int placedLater = 0; // killed between the commit and the last export placed
        int oldBesideCommitted = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            reset();
            // The killed run's log tells whether it got past the mark of its
            // commit: it says so right after the mark.
            const QString killedLog = d.path(QStringLiteral("killed.log"));
            QFile::remove(killedLog);
            // Up to a fifth past the whole run's time: some runs end first.
            const int delay = int(random.bounded(wholeMs * 6 / 5 + 1));
            const auto kill = [delay](QProcess &process) {
                if (!process.waitForFinished(delay))
                    process.kill();
            };
            run(QStringList{QStringLiteral("--log=") + killedLog} + arguments, false, -1, nullptr, programBinary(),
                kill);
            const QString nextLog = d.path(QStringLiteral("next.log"));
            QFile::remove(nextLog);
            const Outcome again = run(QStringList{QStringLiteral("--log=") + nextLog} + standardRun(d, next), false);
            placedLater += int(fileBytes(nextLog).contains(" outcome=placed "));
            const QString at = QStringLiteral("trial %1, killed after %2 ms: ").arg(trial).arg(delay);
            QVERIFY2(again.exitCode == 0, qPrintable(at + again.err));
            const QStringList left = QDir(d.root()).entryList(QDir::Files | QDir::Hidden);
            QVERIFY2(left.filter(QStringLiteral(".rux_ppp-")).isEmpty(), qPrintable(at + left.join(u' ')));
            QCOMPARE(integrity(d.db), QStringLiteral("ok"));
            const QString rows = caseValues(d.db, QStringLiteral("select count(*) from k"));
            QVERIFY2(rows == QString::number(kRows) || rows == QStringLiteral("0"), qPrintable(at + rows));
            const bool committed = rows != QStringLiteral("0");
            // Killed between the database's commit and the mark beside the
            // exports (a few system calls): the one moment that may leave
            // the old files beside committed data.
            const bool inTheMoment =
                committed && !fileBytes(killedLog).contains("transaction outcome=committed");
            bool old = true;
            for (const QString &e : exports)
                old = old && fileBytes(d.path(e)) == "old";
            for (const QString &e : exports) {
                if (inTheMoment && old)
                    break;
                QVERIFY2(fileBytes(d.path(e)) == (committed ? exported[e] : QByteArray("old")),
                         qPrintable(at + e + (committed ? QStringLiteral(" is old") : QStringLiteral(" is new"))));
            }
            oldBesideCommitted += int(inTheMoment && old);
            ++(committed ? kept : takenBack);
        }
        qInfo("%d killed runs (the whole run takes %lld ms): %d kept (%d of them placed by the next run, "
              "%d killed right at the commit), %d taken back",
              kTrials, wholeMs, kept, placedLater, oldBesideCommitted, takenBack);
        QVERIFY(takenBack > 0);
    }

    // Files the program creates get what the umask allows and nothing wider;
    // a file it overwrites keeps its own mode.
    void exportPermissions_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask_022") << 022;
        QTest::newRow("umask_077") << 077;
        QTest::newRow("umask_027") << 027;
        QTest::newRow("umask_000") << 0;
    }

    void exportPermissions()
    {
        QFETCH(int, mask);
        CaseDir d(m_case->path());
        d.database(QStringLiteral("test.db"));
        d.write(QStringLiteral("kept.txt"), "old");
        d.chmod(QStringLiteral("kept.txt"), 0600);
        const mode_t dbMode = modeOf(d.db);
        const QString sql = d.write(QStringLiteral("x.sql"),
                                    "select name from t order by id totxt new.txt\r\ngo\r\n"
                                    "select name from t order by id totxt kept.txt\r\ngo\r\n" + kInsertX);
        const Outcome o = run(standardRun(d, sql), false, mask);
        QVERIFY(o.finished);
        QVERIFY2(o.exitCode == 0, qPrintable(o.err));
        QCOMPARE(modeOf(d.path(QStringLiteral("new.txt"))), mode_t(0666 & ~mask));
        QCOMPARE(modeOf(d.path(QStringLiteral("kept.txt"))), mode_t(0600));
        QCOMPARE(fileBytes(d.path(QStringLiteral("kept.txt"))), QByteArray("a    \r\nb    \r\n"));
        QCOMPARE(modeOf(d.db), dbMode);
    }

    // A script makes the program start no other program: no shell, no
    // helper. Every execve of the traced process tree is listed; only the
    // program's own start may be there. (Opening an Access file starts its
    // reader, by a fixed path; no script text reaches that.)
    void startsNoOtherProgram()
    {
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("strace is not installed");
        CaseDir d(m_case->path());
        d.database(QStringLiteral("test.db"));
        const QString sql = d.write(QStringLiteral("x.sql"),
                                    "select name from t order by id totxt out.txt\r\ngo\r\n" + kInsertX
                                        + "select load_extension('libm.so.6')\r\n");
        const QString trace = m_suite->filePath(QStringLiteral("execve.trace"));
        // LeakSanitizer cannot work under a tracer.
        QProcessEnvironment env = environment(false);
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        QStringList arguments{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-e"),
                              QStringLiteral("trace=execve,execveat"), QStringLiteral("-o"), trace,
                              programBinary()};
        arguments += standardRun(d, sql);

        const Outcome probe = run({QStringLiteral("-f"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                   QStringLiteral("/bin/true")},
                                  false, -1, &env, strace);
        if (!probe.finished || probe.exitCode != 0)
            QSKIP(qPrintable(QStringLiteral("strace cannot trace here: ") + probe.err));

        const Outcome o = run(arguments, false, -1, &env, strace);
        QVERIFY(o.finished);
        // The run itself: export and insert done, then the refused extension.
        QCOMPARE(o.exitCode, 1);
        QCOMPARE(failureLines(o.err), QStringList{QStringLiteral("rux_ppp: not authorized.")});
        QCOMPARE(fileBytes(d.path(QStringLiteral("out.txt"))), QByteArray("a    \r\nb    \r\n"));
        QStringList calls;
        for (const QString &line : QString::fromLocal8Bit(fileBytes(trace)).split(u'\n')) {
            if (line.contains(QLatin1String("execve")))
                calls.append(line);
        }
        QVERIFY2(calls.size() == 1, qPrintable(calls.join(u'\n')));
        QVERIFY2(calls.constFirst().contains(programBinary()), qPrintable(calls.constFirst()));
    }

    // Nor can it: the program imports none of the C library's ways to start
    // a program or expand a name, but posix_spawn, which starts the Access
    // reader beside the program with a fixed argument list.
    void importsNoProgramStarters()
    {
        const QString nm = QStandardPaths::findExecutable(QStringLiteral("nm"));
        if (nm.isEmpty())
            QSKIP("nm is not installed");
        const Outcome o = run({QStringLiteral("-D"), QStringLiteral("--undefined-only"), QStringLiteral("-C"),
                               programBinary()},
                              false, -1, nullptr, nm);
        QVERIFY(o.finished);
        QCOMPARE(o.exitCode, 0);
        QStringList symbols;
        for (const QString &line : o.out.split(u'\n')) {
            QString s = line.trimmed();
            if (s.startsWith(QLatin1String("U ")))
                s = s.mid(2);
            symbols.append(s.section(u'@', 0, 0));
        }
        QVERIFY(symbols.contains(QStringLiteral("open")) || symbols.contains(QStringLiteral("open64"))
                || symbols.size() > 10);
        for (const char *starter : {"system", "popen", "execl", "execlp", "execle", "execv", "execvp", "execvpe",
                                    "execve", "fexecve", "posix_spawnp", "fork", "vfork",
                                    "wordexp", "glob", "glob64"})
            QVERIFY2(!symbols.contains(QString::fromLatin1(starter)), starter);
        for (const QString &s : symbols)
            QVERIFY2(!s.startsWith(QLatin1String("QProcess::")), qPrintable(s));
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
