// "save script" from the main window onto targets that cannot take the
// text: the failure is shown (one line on standard error without a screen),
// the file that was there stays byte for byte as it was, and nothing is left
// behind. Also: the permissions of a saved file.
//
// A read-only file stops no one who runs as root; for those cases the test
// takes on the unprivileged user 65534 for the time of the save. A full disk
// is a small tmpfs mounted in a mount namespace of the test's own, which
// needs root; without it those cases are skipped with the reason.

#include "tests/support/filesnapshot.h"
#include "tests/support/ownmount.h"
#include "tests/support/windowfixture.h"

#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rux;
using namespace rux::test;

namespace {

constexpr uid_t kUnprivileged = 65534;

// The unprivileged user for the lifetime of the object (real and effective
// ids, so that access() answers for that user too); root again afterwards.
class AsUnprivileged
{
public:
    AsUnprivileged()
    {
        if (!isRoot())
            return;
        m_ok = ::setresgid(kUnprivileged, kUnprivileged, 0) == 0
            && ::setresuid(kUnprivileged, kUnprivileged, 0) == 0;
        m_switched = true;
    }
    ~AsUnprivileged()
    {
        if (m_switched && (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0))
            qFatal("cannot become root again");
    }
    AsUnprivileged(const AsUnprivileged &) = delete;
    AsUnprivileged &operator=(const AsUnprivileged &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = true;
    bool m_switched = false;
};

// Fills the file system that holds `folder` up to the last byte.
void fillUp(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder + QStringLiteral("/filler"));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    const QByteArray chunk(4096, 'f');
    while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
    }
    // The last partial block as well.
    while (::write(fd, "f", 1) > 0) {
    }
    ::close(fd);
}

struct SaveCase
{
    // Makes the target's surroundings in `folder`; returns the name the
    // save dialog answers with.
    std::function<QString(const QString &folder)> prepare;
    // The failure text (without the program's title) for the chosen name.
    std::function<QString(const QString &target)> reported;
    bool unprivileged = false;
    bool fullDisk = false;
};

} // namespace

Q_DECLARE_METATYPE(SaveCase)

class TestSaveFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Windows> m_w;
    QString m_savedCurrent;
    QString m_small;        // the mount point of the small file system
    QString m_smallProblem; // why there is none
    std::unique_ptr<QTemporaryDir> m_smallDir;

    QString folderFor(const SaveCase &c) const { return c.fullDisk ? m_small : m_dir->path(); }

    // Clicks "save script" with the editor holding `text`; returns what the
    // failure display wrote.
    QString save(const QString &text, const QString &chosen, bool unprivileged)
    {
        m_w->main->editorLines().setText(text);
        m_w->dialogs.saveAnswers = {chosen};
        // The user agrees to replace a file that is there.
        m_w->dialogs.replaceAnswers = {true};
        StderrCapture err;
        {
            std::unique_ptr<AsUnprivileged> as;
            if (unprivileged) {
                as = std::make_unique<AsUnprivileged>();
                if (!as->ok())
                    return QStringLiteral("<cannot become uid 65534: %1>").arg(QString::fromLocal8Bit(std::strerror(errno)));
            }
            m_w->main->Button4->click();
        }
        return err.text();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_smallDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_smallDir->isValid());
        m_smallProblem = mountTmpfs(m_smallDir->path(), MS_NOSUID | MS_NODEV, "size=256k,mode=0777");
        if (!m_smallProblem.isEmpty())
            return;
        m_small = m_smallDir->path();
    }

    void cleanupTestCase()
    {
        if (!m_small.isEmpty())
            unmount(m_small);
    }

    void init()
    {
        m_savedCurrent = QDir::currentPath();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        m_w = std::make_unique<Windows>();
    }

    void cleanup()
    {
        m_w.reset();
        if (!m_small.isEmpty()) {
            restoreRights(m_small);
            for (const QString &name : QDir(m_small).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
                QFile::remove(m_small + u'/' + name);
        }
        restoreRights(m_dir->path());
        m_dir.reset();
        QDir::setCurrent(m_savedCurrent);
    }

    void failures_data()
    {
        QTest::addColumn<SaveCase>("c");
        const auto cannotCreate = [](const char *cause) {
            return [cause](const QString &target) {
                return QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2.")
                    .arg(target, QString::fromLatin1(cause));
            };
        };
        const auto old = [](const QString &folder, mode_t mode) {
            const QString name = folder + QStringLiteral("/old.sql");
            if (!writeBytes(name, "select 'old text'\r\ngo\r\n"))
                qFatal("cannot write %s", qPrintable(name));
            ::chmod(QFile::encodeName(name).constData(), mode);
            return name;
        };
        {
            SaveCase c;
            c.unprivileged = true;
            c.prepare = [old](const QString &folder) {
                const QString name = old(folder, 0444);
                if (isRoot()) {
                    chownTree(folder, kUnprivileged);
                }
                return name;
            };
            c.reported = cannotCreate("Permission denied");
            QTest::newRow("onto_read_only_file") << c;
        }
        {
            SaveCase c;
            c.unprivileged = true;
            c.prepare = [old](const QString &folder) {
                old(folder, 0644);
                QDir().mkpath(folder + QStringLiteral("/locked"));
                if (isRoot())
                    chownTree(folder, kUnprivileged);
                ::chmod(QFile::encodeName(folder + QStringLiteral("/locked")).constData(), 0555);
                return folder + QStringLiteral("/locked/new.sql");
            };
            c.reported = cannotCreate("Permission denied");
            QTest::newRow("into_read_only_folder") << c;
        }
        {
            SaveCase c;
            c.prepare = [old](const QString &folder) {
                old(folder, 0644);
                return folder + QStringLiteral("/nosuch/new.sql");
            };
            c.reported = cannotCreate("No such file or directory");
            QTest::newRow("into_missing_folder") << c;
        }
        {
            SaveCase c;
            c.prepare = [old](const QString &folder) {
                old(folder, 0644);
                QDir().mkpath(folder + QStringLiteral("/taken.sql"));
                writeBytes(folder + QStringLiteral("/taken.sql/inside"), "kept");
                return folder + QStringLiteral("/taken.sql");
            };
            c.reported = cannotCreate("Is a directory");
            QTest::newRow("onto_folder_name") << c;
        }
        {
            SaveCase c;
            c.fullDisk = true;
            c.prepare = [old](const QString &folder) {
                const QString name = old(folder, 0644);
                fillUp(folder);
                return name;
            };
            c.reported = [](const QString &) { return QStringLiteral("Stream-Schreibfehler."); };
            QTest::newRow("onto_file_on_full_disk") << c;
        }
        {
            SaveCase c;
            c.fullDisk = true;
            c.prepare = [old](const QString &folder) {
                old(folder, 0644);
                fillUp(folder);
                return folder + QStringLiteral("/new.sql");
            };
            c.reported = [](const QString &) { return QStringLiteral("Stream-Schreibfehler."); };
            QTest::newRow("new_file_on_full_disk") << c;
        }
    }

    void failures()
    {
        QFETCH(SaveCase, c);
        if (c.fullDisk && m_small.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no small file system to fill: ") + m_smallProblem));
        const QString folder = folderFor(c);
        const QString target = c.prepare(folder);
        const Snapshot before = snapshot(folder);

        // More than the small file system holds.
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("insert into log values (%1)\r\ngo\r\n").arg(i);
        const QString err = save(text, target, c.unprivileged);

        const QString expected = QStringLiteral("rux_ppp: ") + c.reported(target) + u'\n';
        QCOMPARE(err, expected);
        // The window goes on: the editor holds the text, the next save works.
        QCOMPARE(m_w->main->editorLines().text(), text);
        // Everything in the folder as it was: the old file byte for byte,
        // no temporary file left, no partial new file.
        QCOMPARE(snapshot(folder), before);
    }

    // A saved script gets what the umask allows and nothing wider; a file
    // that is replaced keeps its own mode.
    void permissions_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask_022") << 022;
        QTest::newRow("umask_077") << 077;
        QTest::newRow("umask_027") << 027;
    }

    void permissions()
    {
        QFETCH(int, mask);
        const QString fresh = m_dir->filePath(QStringLiteral("fresh.sql"));
        const QString kept = m_dir->filePath(QStringLiteral("kept.sql"));
        QVERIFY(writeBytes(kept, "old"));
        QVERIFY(::chmod(QFile::encodeName(kept).constData(), 0600) == 0);

        const mode_t saved = ::umask(mode_t(mask));
        const QString err1 = save(QStringLiteral("select 1"), fresh, false);
        ::umask(0);
        const QString err2 = save(QStringLiteral("select 2"), kept, false);
        ::umask(saved);

        QCOMPARE(err1, QString());
        QCOMPARE(err2, QString());
        QCOMPARE(modeOf(fresh), mode_t(0666 & ~mask));
        QCOMPARE(fileBytes(fresh), QByteArray("select 1"));
        QCOMPARE(modeOf(kept), mode_t(0600));
        QCOMPARE(fileBytes(kept), QByteArray("select 2"));
    }
};

QTEST_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
