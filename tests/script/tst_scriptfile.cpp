#include "base/failure.h"
#include "script/scriptfile.h"
#include "tests/support/failureof.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rux;
using rux::test::failureOf;

Q_DECLARE_METATYPE(rux::TextEncoding)

namespace {

QString osText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

using rux::test::fileBytes;
using rux::test::makeFile;


mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestScriptFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void reads_data();
    void reads();
    void readFailures_data();
    void readFailures();
    void cannotOpen_data();
    void cannotOpen();
    void unreadableWithoutPermission();

    void writes_data();
    void writes();
    void roundTrips_data();
    void roundTrips();
    void overwritesExistingFile();
    void newFilePermissionsFollowUmask_data();
    void newFilePermissionsFollowUmask();
    void replacedFileKeepsPermissions();
    void cannotCreate_data();
    void cannotCreate();
    void readOnlyTargetRefused();
    void readOnlyFolderRefused();
    void writeFailureKeepsOldFile();
    void fullDevice();

private:
    QTemporaryDir m_dir;
};

void TestScriptFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

// --- reading ------------------------------------------------------------------

void TestScriptFile::reads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");

    QTest::newRow("utf8_with_mark") << QByteArray("\xEF\xBB\xBFgr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC\r\n")
                                    << QString::fromUtf8("größe €\r\n") << TextEncoding::Utf8;
    QTest::newRow("utf8_non_bmp") << QByteArray("\xEF\xBB\xBF\xF0\x9F\x98\x80") << QString::fromUtf8("😀")
                                  << TextEncoding::Utf8;
    QTest::newRow("utf8_second_mark_is_text") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx")
                                              << QString(QChar(0xFEFF)) + "x" << TextEncoding::Utf8;
    QTest::newRow("utf8_mark_only") << QByteArray("\xEF\xBB\xBF") << QString() << TextEncoding::Utf8;
    QTest::newRow("utf16le") << QByteArray("\xFF\xFE" "a\0\xE4\0\r\0\n\0\xAC\x20", 12)
                             << QString::fromUtf8("aä\r\n€") << TextEncoding::Utf16LE;
    QTest::newRow("utf16be") << QByteArray("\xFE\xFF\0a\0\xE4\0\n\x20\xAC", 10)
                             << QString::fromUtf8("aä\r\n€") << TextEncoding::Utf16BE;
    QTest::newRow("utf16le_surrogate_pair") << QByteArray("\xFF\xFE\x3D\xD8\x00\xDE", 6)
                                            << QString::fromUtf8("😀") << TextEncoding::Utf16LE;
    QTest::newRow("utf16le_lone_surrogate_kept") << QByteArray("\xFF\xFE\x3D\xD8", 4)
                                                 << QString(QChar(0xD83D)) << TextEncoding::Utf16LE;
    QTest::newRow("utf16le_mark_only") << QByteArray("\xFF\xFE") << QString() << TextEncoding::Utf16LE;
    QTest::newRow("ansi_bytes_above_7f") << QByteArray("\x80 \xE4\xF6\xFC\xDF \x9F \x81")
                                         << QString::fromUtf8("€ äöüß Ÿ ") + QChar(0x81) << TextEncoding::Ansi;
    QTest::newRow("utf8_without_mark_is_ansi") << QByteArray("gr\xC3\xB6\xC3\x9F" "e")
                                               << QString::fromUtf8("grÃ¶ÃŸe") << TextEncoding::Ansi;
    QTest::newRow("lone_mark_half_is_ansi") << QByteArray("\xEF\xBBx") << QString::fromUtf8("ï»x")
                                            << TextEncoding::Ansi;
    QTest::newRow("empty_file") << QByteArray() << QString() << TextEncoding::Ansi;
    QTest::newRow("windows_line_breaks") << QByteArray("a\r\nb\r\n") << "a\r\nb\r\n" << TextEncoding::Ansi;
    QTest::newRow("lone_lf_breaks") << QByteArray("a\nb\n") << "a\r\nb\r\n" << TextEncoding::Ansi;
    QTest::newRow("lone_cr_breaks") << QByteArray("a\rb\r") << "a\r\nb\r\n" << TextEncoding::Ansi;
    QTest::newRow("lf_then_cr_is_two_breaks") << QByteArray("a\n\rb") << "a\r\n\r\nb" << TextEncoding::Ansi;
    QTest::newRow("cr_cr_lf") << QByteArray("a\r\r\nb") << "a\r\n\r\nb" << TextEncoding::Ansi;
    QTest::newRow("nul_in_middle") << QByteArray("ab\0cd\r\n", 7) << "ab" << TextEncoding::Ansi;
    QTest::newRow("nul_after_lone_lf") << QByteArray("a\nb\0\n", 5) << "a\r\nb" << TextEncoding::Ansi;
    QTest::newRow("nul_first") << QByteArray("\0abc", 4) << QString() << TextEncoding::Ansi;
    QTest::newRow("nul_in_utf16") << QByteArray("\xFF\xFE" "a\0\0\0b\0", 8) << "a" << TextEncoding::Utf16LE;
    QTest::newRow("utf8_marks_at_line_start_are_text") << QByteArray("\xEF\xBB\xBF" "a\r\n\xEF\xBB\xBF\xEF\xBB\xBF" "b")
                                                       << QString("a\r\n") + QChar(0xFEFF) + QChar(0xFEFF) + "b"
                                                       << TextEncoding::Utf8;
    QTest::newRow("utf8_paragraph_separator") << QByteArray("\xEF\xBB\xBF" "a\xE2\x80\xA9" "b\xEF\xB7\x90" "c")
                                              << QString("a") + QChar(0x2029) + "b" + QChar(0xFDD0) + "c"
                                              << TextEncoding::Utf8;
    // Every kind of break at other places of the eight-byte words the
    // lines are split by.
    QTest::newRow("breaks_inside_long_lines")
        << QByteArray("\xEF\xBB\xBF" "select\t1 as abc\r\nfrom t where x = 'abcdefg'\rand y\t= 2\n"
                      "order by 1\xE2\x80\xA9limit 10, 20 \xEF\xB7\x91 go\xC3\xA4 and more")
        << QString("select\t1 as abc\r\nfrom t where x = 'abcdefg'\r\nand y\t= 2\r\norder by 1") + QChar(0x2029)
               + "limit 10, 20 " + QChar(0xFDD1) + QString::fromUtf8(" goä and more")
        << TextEncoding::Utf8;
    QTest::newRow("ascii_long_lines") << QByteArray("select a,\tb from table_one\r\nwhere c = 'long text here'\ngo\r")
                                      << "select a,\tb from table_one\r\nwhere c = 'long text here'\r\ngo\r\n"
                                      << TextEncoding::Ansi;
    // Longer than the pieces that are checked one at a time.
    const QByteArray wide = QByteArray("\xC3\xA4").repeated(40000) + "\n";
    QTest::newRow("utf8_long_lines") << QByteArray("\xEF\xBB\xBF") + wide.repeated(3)
                                     << (QString(40000, QChar(0xE4)) + "\r\n").repeated(3) << TextEncoding::Utf8;
}

void TestScriptFile::reads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);

    const QString path = m_dir.filePath(QStringLiteral("read.sql"));
    makeFile(path, bytes);
    const ScriptFileText read = readScriptFile(path);
    QCOMPARE(read.text, text);
    QCOMPARE(read.encoding, encoding);

    // Read as lines, the file holds the lines of the same text, split as
    // the editor splits it.
    const ScriptFileLines lines = readScriptLines(path);
    QCOMPARE(lines.encoding, encoding);
    QCOMPARE(lines.lines.text(), LineStore::fromText(text).text());
    QCOMPARE(lines.lines.lineCount(), LineStore::fromText(text).lineCount());
}

void TestScriptFile::readFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("kind");

    QTest::newRow("invalid_byte") << QByteArray("\xEF\xBB\xBF" "a\xFF") << "UTF-8";
    QTest::newRow("latin1_after_mark") << QByteArray("\xEF\xBB\xBFgr\xF6\xDF" "e") << "UTF-8";
    QTest::newRow("overlong_slash") << QByteArray("\xEF\xBB\xBF\xC0\xAF") << "UTF-8";
    QTest::newRow("overlong_three_bytes") << QByteArray("\xEF\xBB\xBF\xE0\x80\xAF") << "UTF-8";
    QTest::newRow("encoded_surrogate") << QByteArray("\xEF\xBB\xBF\xED\xA0\x80") << "UTF-8";
    QTest::newRow("above_10ffff") << QByteArray("\xEF\xBB\xBF\xF4\x90\x80\x80") << "UTF-8";
    QTest::newRow("truncated_at_end") << QByteArray("\xEF\xBB\xBF" "ab\xE2\x82") << "UTF-8";
    QTest::newRow("lone_continuation") << QByteArray("\xEF\xBB\xBF\x80") << "UTF-8";
    QTest::newRow("utf16le_odd_count") << QByteArray("\xFF\xFE" "a\0b", 5) << "UTF-16";
    QTest::newRow("utf16be_odd_count") << QByteArray("\xFE\xFF\0", 3) << "UTF-16";
    QTest::newRow("invalid_after_long_lines")
        << QByteArray("\xEF\xBB\xBF") + QByteArray(70000, 'a') + "\n" + QByteArray(70000, 'b') + "\xE2\x82" << "UTF-8";
}

void TestScriptFile::readFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, kind);

    const QString path = m_dir.filePath(QStringLiteral("invalid.sql"));
    makeFile(path, bytes);
    const QString expected = QString::fromUtf8("Datei %1 kann nicht gelesen werden: ungültiger %2-Text").arg(path, kind);
    QCOMPARE(failureOf([&] { readScriptFile(path); }), expected);
    QCOMPARE(failureOf([&] { readScriptLines(path); }), expected);
}

void TestScriptFile::cannotOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("error");

    QTest::newRow("missing_file") << "missing.sql" << ENOENT;
    QTest::newRow("missing_folder") << "no folder/x.sql" << ENOENT;
    QTest::newRow("folder") << "." << EISDIR;
    QTest::newRow("file_as_folder") << "plain.txt/x.sql" << ENOTDIR;
}

void TestScriptFile::cannotOpen()
{
    QFETCH(QString, name);
    QFETCH(int, error);

    makeFile(m_dir.filePath(QStringLiteral("plain.txt")), "x");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    // A relative name is reported with its full path.
    const QString message = failureOf([&] { readScriptFile(name); });
    QDir::setCurrent(previous);
    QCOMPARE(message, QString::fromUtf8("Datei %1 kann nicht geöffnet werden. %2")
                          .arg(QFileInfo(m_dir.filePath(name)).absoluteFilePath(), osText(error)));
    QVERIFY(!osText(error).isEmpty());
}

void TestScriptFile::unreadableWithoutPermission()
{
    if (::geteuid() == 0)
        QSKIP("running as root: file permissions do not stop reading");
    const QString path = m_dir.filePath(QStringLiteral("secret.sql"));
    makeFile(path, "x");
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    QCOMPARE(failureOf([&] { readScriptFile(path); }),
             QString::fromUtf8("Datei %1 kann nicht geöffnet werden. %2").arg(path, osText(EACCES)));
}

// --- writing ------------------------------------------------------------------

void TestScriptFile::writes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("nothing_loaded_is_ansi") << QString::fromUtf8("ä\r\n") << TextEncoding::None
                                            << QByteArray("\xE4\r\n");
    QTest::newRow("ansi_without_mark") << QString::fromUtf8("€ Ÿ ß") << TextEncoding::Ansi
                                       << QByteArray("\x80 \x9F \xDF");
    QTest::newRow("ansi_missing_characters") << QString::fromUtf8("日本 😀 Ω") << TextEncoding::Ansi
                                             << QByteArray("?? ? ?");
    QTest::newRow("utf8_mark_first") << QString::fromUtf8("ä😀") << TextEncoding::Utf8
                                     << QByteArray("\xEF\xBB\xBF\xC3\xA4\xF0\x9F\x98\x80");
    QTest::newRow("utf16le_mark_first") << QString::fromUtf8("a€") << TextEncoding::Utf16LE
                                        << QByteArray("\xFF\xFE" "a\0\xAC\x20", 6);
    QTest::newRow("utf16be_mark_first") << QString::fromUtf8("a€") << TextEncoding::Utf16BE
                                        << QByteArray("\xFE\xFF\0a\x20\xAC", 6);
    QTest::newRow("no_break_added_at_end") << "a\r\nb" << TextEncoding::Ansi << QByteArray("a\r\nb");
    QTest::newRow("empty_ansi_text") << QString() << TextEncoding::Ansi << QByteArray();
    QTest::newRow("empty_utf8_text_has_mark") << QString() << TextEncoding::Utf8 << QByteArray("\xEF\xBB\xBF");
}

void TestScriptFile::writes()
{
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, bytes);

    const QString path = m_dir.filePath(QStringLiteral("written.sql"));
    QFile::remove(path);
    writeScriptFile(path, text, encoding);
    QCOMPARE(fileBytes(path), bytes);
}

void TestScriptFile::roundTrips_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("utf8_with_mark") << QByteArray("\xEF\xBB\xBFx = '\xC3\xA4'\r\ngo\r\n")
                                    << QByteArray("\xEF\xBB\xBFx = '\xC3\xA4'\r\ngo\r\n");
    QTest::newRow("utf16le") << QByteArray("\xFF\xFE" "a\0\r\0\n\0\xAC\x20", 10)
                             << QByteArray("\xFF\xFE" "a\0\r\0\n\0\xAC\x20", 10);
    QTest::newRow("utf16be") << QByteArray("\xFE\xFF\0a\0\r\0\n\x20\xAC", 10)
                             << QByteArray("\xFE\xFF\0a\0\r\0\n\x20\xAC", 10);
    QTest::newRow("ansi_high_bytes") << QByteArray("\x80\xE4\xFF\x81") << QByteArray("\x80\xE4\xFF\x81");
    QTest::newRow("utf8_without_mark_stays_bytes") << QByteArray("\xC3\xA4\xE2\x82\xAC")
                                                   << QByteArray("\xC3\xA4\xE2\x82\xAC");
    QTest::newRow("lone_lf_saved_with_cr_lf") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone_cr_saved_with_cr_lf") << QByteArray("a\rb") << QByteArray("a\r\nb");
    QTest::newRow("utf16le_lone_lf") << QByteArray("\xFF\xFE" "a\0\n\0", 6)
                                     << QByteArray("\xFF\xFE" "a\0\r\0\n\0", 8);
    QTest::newRow("text_after_nul_lost") << QByteArray("ab\0cd", 5) << QByteArray("ab");
}

void TestScriptFile::roundTrips()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);

    const QString source = m_dir.filePath(QStringLiteral("source.sql"));
    const QString target = m_dir.filePath(QStringLiteral("saved.sql"));
    makeFile(source, bytes);
    const ScriptFileText read = readScriptFile(source);
    writeScriptFile(target, read.text, read.encoding);
    QCOMPARE(fileBytes(target), saved);
    const ScriptFileText again = readScriptFile(target);
    QCOMPARE(again.text, read.text);
    QCOMPARE(again.encoding, read.encoding);
}

void TestScriptFile::overwritesExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("script.sql"));
    makeFile(path, QByteArray(10000, 'o'));
    writeScriptFile(path, QStringLiteral("short"), TextEncoding::Ansi);
    QCOMPARE(fileBytes(path), QByteArray("short"));
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("script.sql")});
}

void TestScriptFile::newFilePermissionsFollowUmask_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("umask_022") << 022;
    QTest::newRow("umask_077") << 077;
    QTest::newRow("umask_000") << 0;
}

void TestScriptFile::newFilePermissionsFollowUmask()
{
    QFETCH(int, mask);

    const QString path = m_dir.filePath(QStringLiteral("new_%1.sql").arg(mask, 3, 8, QLatin1Char('0')));
    QFile::remove(path);
    const mode_t previous = ::umask(mode_t(mask));
    writeScriptFile(path, QStringLiteral("x"), TextEncoding::Ansi);
    ::umask(previous);
    QCOMPARE(int(modeOf(path)), 0666 & ~mask);
}

void TestScriptFile::replacedFileKeepsPermissions()
{
    const QString path = m_dir.filePath(QStringLiteral("kept_mode.sql"));
    makeFile(path, "old");
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0604), 0);
    writeScriptFile(path, QStringLiteral("new"), TextEncoding::Ansi);
    QCOMPARE(fileBytes(path), QByteArray("new"));
    QCOMPARE(int(modeOf(path)), 0604);
}

void TestScriptFile::cannotCreate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("error");

    QTest::newRow("missing_folder") << "no folder/x.sql" << ENOENT;
    QTest::newRow("target_is_folder") << "a folder" << EISDIR;
    QTest::newRow("file_as_folder") << "old.sql/x.sql" << ENOTDIR;
}

void TestScriptFile::cannotCreate()
{
    QFETCH(QString, name);
    QFETCH(int, error);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("a folder")));
    const QString old = dir.filePath(QStringLiteral("old.sql"));
    makeFile(old, "old bytes");
    const QStringList before = entriesOf(dir.path());

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString message = failureOf([&] { writeScriptFile(name, QStringLiteral("new"), TextEncoding::Utf8); });
    QDir::setCurrent(previous);

    QCOMPARE(message, QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2")
                          .arg(QFileInfo(dir.filePath(name)).absoluteFilePath(), osText(error)));
    QCOMPARE(fileBytes(old), QByteArray("old bytes"));
    QCOMPARE(entriesOf(dir.path()), before);
    QVERIFY(entriesOf(dir.filePath(QStringLiteral("a folder"))).isEmpty());
}

void TestScriptFile::readOnlyTargetRefused()
{
    if (::geteuid() == 0)
        QSKIP("running as root: access() grants writing to a read-only file");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("readonly.sql"));
    makeFile(path, "old bytes");
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    QCOMPARE(failureOf([&] { writeScriptFile(path, QStringLiteral("new"), TextEncoding::Ansi); }),
             QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2").arg(path, osText(EACCES)));
    QCOMPARE(fileBytes(path), QByteArray("old bytes"));
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("readonly.sql")});
}

void TestScriptFile::readOnlyFolderRefused()
{
    if (::geteuid() == 0)
        QSKIP("running as root: access() grants writing into a read-only folder");
    // The file itself may be written, but no temporary file can be made
    // beside it: the file is not touched rather than written in place.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
    const QString path = folder + QStringLiteral("/script.sql");
    makeFile(path, "old bytes");
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QString message = failureOf([&] { writeScriptFile(path, QStringLiteral("new"), TextEncoding::Ansi); });
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(message, QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2").arg(path, osText(EACCES)));
    QCOMPARE(fileBytes(path), QByteArray("old bytes"));
    QCOMPARE(entriesOf(folder), QStringList{QStringLiteral("script.sql")});
}

void TestScriptFile::writeFailureKeepsOldFile()
{
    // A file size limit makes writing fail part way, as a full disk does.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("script.sql"));
    const QByteArray old(100000, 'o');
    makeFile(path, old);

    struct rlimit previous;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limited = previous;
    limited.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString message =
        failureOf([&] { writeScriptFile(path, QString(200000, u'n'), TextEncoding::Ansi); });
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(message, QStringLiteral("Stream-Schreibfehler"));
    QCOMPARE(fileBytes(path), old);
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("script.sql")});
}

void TestScriptFile::fullDevice()
{
    struct stat st;
    if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode))
        QSKIP("/dev/full is not available");
    // A device is written in place, never replaced by a file.
    QCOMPARE(failureOf([&] { writeScriptFile(QStringLiteral("/dev/full"), QString(100000, u'x'), TextEncoding::Ansi); }),
             QStringLiteral("Stream-Schreibfehler"));
    QCOMPARE(::stat("/dev/full", &st), 0);
    QVERIFY(S_ISCHR(st.st_mode));
}

QTEST_GUILESS_MAIN(TestScriptFile)
#include "tst_scriptfile.moc"
