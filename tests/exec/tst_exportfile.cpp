#include "exec/exportfile.h"
#include "exec/ioerror.h"
#include "tests/support/failureof.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where the test double throws.
enum class ThrowAt { Nowhere, First, Next, Eof, FieldCount, FieldName, AsString };

// A result held in memory: field names and rows of values. A value of a
// row past the end reads empty, as a field of an exhausted result does. It
// can throw a Failure at one operation once the cursor stands on a given row.
class ListRows : public rux::RowSource
{
public:
    ListRows(QStringList names, QList<QStringList> rows)
        : m_names(std::move(names)), m_rows(std::move(rows)) {}

    void throwAt(ThrowAt where, int row)
    {
        m_throwAt = where;
        m_throwRow = row;
    }

    int fieldNameReads() const { return m_fieldNameReads; }

    void First() override
    {
        m_row = 0;
        check(ThrowAt::First);
    }
    void Next() override
    {
        check(ThrowAt::Next);
        ++m_row;
    }
    bool Eof() override
    {
        check(ThrowAt::Eof);
        return m_row >= m_rows.size();
    }
    int fieldCount() override
    {
        check(ThrowAt::FieldCount);
        return int(m_names.size());
    }
    QString fieldName(int field) override
    {
        check(ThrowAt::FieldName);
        ++m_fieldNameReads;
        return m_names.at(field - 1);
    }
    QString asString(int field) override
    {
        check(ThrowAt::AsString);
        if (m_row >= m_rows.size())
            return QString();
        return m_rows.at(m_row).at(field - 1);
    }

private:
    void check(ThrowAt where)
    {
        if (where == m_throwAt && m_row == m_throwRow)
            throw rux::Failure(QStringLiteral("Zeile %1 nicht lesbar").arg(m_row));
    }

    QStringList m_names;
    QList<QStringList> m_rows;
    int m_row = 0;
    ThrowAt m_throwAt = ThrowAt::Nowhere;
    int m_throwRow = -1;
    int m_fieldNameReads = 0;
};

int openDescriptorCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

using rux::test::fileBytes;

QString failureOf(const QString &fileName, rux::RowSource &rows)
{
    return rux::test::failureOf([&] { rux::writeExportFile(fileName, rows); });
}

using Rows = QList<QStringList>;

} // namespace

Q_DECLARE_METATYPE(ThrowAt)

class TestExportFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void ioErrorText_data();
    void ioErrorText();
    void ioErrorCode_data();
    void ioErrorCode();

    void writesRows_data();
    void writesRows();
    void readsFieldNamesOncePerResult();
    void manyRowsAcrossBufferFlushes();
    void overwritesLongerFile();
    void relativeNameAgainstCurrentDirectory_data();
    void relativeNameAgainstCurrentDirectory();

    void fileErrors_data();
    void fileErrors();
    void diskFull_data();
    void diskFull();
    void nameLengthLimit_data();
    void nameLengthLimit();
    void readOnlyFolder();
    void sourceFailureClosesFile_data();
    void sourceFailureClosesFile();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExportFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestExportFile::ioErrorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("file_not_found") << 2 << QStringLiteral("Die angegebene Datei wurde nicht gefunden");
    QTest::newRow("invalid_name_keeps_percent_s") << 3 << QStringLiteral("Ungültiger Dateiname - %s");
    QTest::newRow("too_many_files") << 4 << QStringLiteral("Zu viele geöffnete Dateien");
    QTest::newRow("access_denied") << 5 << QStringLiteral("Dateizugriff verweigert");
    QTest::newRow("read_past_end") << 100 << QStringLiteral("Versuch hinter dem Dateiende zu lesen");
    QTest::newRow("disk_full") << 101 << QStringLiteral("Zu wenig Speicherplatz");
    QTest::newRow("invalid_number") << 106 << QStringLiteral("Ungültige numerische Eingabe");
    QTest::newRow("sharing_violation") << 32 << QStringLiteral("E/A-Fehler 32");
    QTest::newRow("unlisted_one") << 1 << QStringLiteral("E/A-Fehler 1");
    QTest::newRow("between_listed") << 102 << QStringLiteral("E/A-Fehler 102");
    QTest::newRow("errno_based") << 1005 << QStringLiteral("E/A-Fehler 1005");
}

void TestExportFile::ioErrorText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(rux::ioErrorText(code), text);
}

void TestExportFile::ioErrorCode_data()
{
    QTest::addColumn<int>("posixErrno");
    QTest::addColumn<bool>("creating");
    QTest::addColumn<int>("code");

    QTest::newRow("missing_folder_while_creating") << ENOENT << true << 3;
    QTest::newRow("missing_file_otherwise") << ENOENT << false << 2;
    QTest::newRow("path_through_file_while_creating") << ENOTDIR << true << 3;
    QTest::newRow("path_through_file_otherwise") << ENOTDIR << false << 3;
    QTest::newRow("name_too_long") << ENAMETOOLONG << true << 3;
    QTest::newRow("no_rights") << EACCES << true << 5;
    QTest::newRow("not_permitted") << EPERM << false << 5;
    QTest::newRow("folder_name") << EISDIR << true << 5;
    QTest::newRow("read_only_file_system") << EROFS << true << 5;
    QTest::newRow("running_program") << ETXTBSY << true << 5;
    QTest::newRow("disk_full") << ENOSPC << false << 101;
    QTest::newRow("quota") << EDQUOT << false << 101;
    QTest::newRow("file_too_big") << EFBIG << false << 101;
    QTest::newRow("process_file_limit") << EMFILE << true << 4;
    QTest::newRow("system_file_limit") << ENFILE << true << 4;
    QTest::newRow("io_error_offset") << EIO << false << 1000 + EIO;
    QTest::newRow("invalid_argument_offset") << EINVAL << true << 1000 + EINVAL;
}

void TestExportFile::ioErrorCode()
{
    QFETCH(int, posixErrno);
    QFETCH(bool, creating);
    QFETCH(int, code);
    QCOMPARE(rux::ioErrorCode(posixErrno, creating), code);
}

void TestExportFile::writesRows_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QByteArray>("bytes");

    const QStringList ab = {QStringLiteral("a"), QStringLiteral("b")};

    QTest::newRow("three_rows")
        << ab << Rows{{"1", "x"}, {"2", "y"}, {"3", "z"}}
        << QByteArray("1    x    \r\n2    y    \r\n3    z    \r\n");
    QTest::newRow("no_rows_one_line_of_blanks") << ab << Rows{} << QByteArray("        \r\n");
    QTest::newRow("no_fields") << QStringList{} << Rows{{}, {}} << QByteArray("\r\n\r\n");
    QTest::newRow("ix_lower_left_out")
        << QStringList{"ix", "name"} << Rows{{"7", "Anna"}} << QByteArray("Anna    \r\n");
    QTest::newRow("ix_capitals_left_out")
        << QStringList{"name", "IX"} << Rows{{"Anna", "7"}} << QByteArray("Anna    \r\n");
    QTest::newRow("ix_mixed_case_left_out")
        << QStringList{"iX", "a", "Ix"} << Rows{{"1", "2", "3"}} << QByteArray("2    \r\n");
    QTest::newRow("ix_inside_longer_names_written")
        << QStringList{"index", "six", "ixx", "xi", "i x"} << Rows{{"1", "2", "3", "4", "5"}}
        << QByteArray("1    2    3    4    5    \r\n");
    QTest::newRow("ix_with_non_ascii_i_written")
        << QStringList{QStringLiteral("İX"), QStringLiteral("ıx")} << Rows{{"1", "2"}}
        << QByteArray("1    2    \r\n");
    QTest::newRow("only_column_ix")
        << QStringList{"ix"} << Rows{{"1"}, {"2"}, {"3"}} << QByteArray("\r\n\r\n\r\n");
    QTest::newRow("only_column_ix_no_rows") << QStringList{"ix"} << Rows{} << QByteArray("\r\n");
    QTest::newRow("null_as_empty")
        << ab << Rows{{QString(), "a"}, {"", QString()}} << QByteArray("    a    \r\n        \r\n");
    QTest::newRow("tabs_and_line_breaks_unchanged")
        << ab << Rows{{"a\tb", "c\r\nd"}, {"e\nf", "g\rh"}}
        << QByteArray("a\tb    c\r\nd    \r\ne\nf    g\rh    \r\n");
    QTest::newRow("blanks_in_values_kept")
        << ab << Rows{{" a ", "  "}} << QByteArray(" a           \r\n");
    QTest::newRow("windows_1252_bytes")
        << QStringList{"v"} << Rows{{QStringLiteral("é€Ü")}, {QStringLiteral("„ß“")}}
        << QByteArray("\xE9\x80\xDC    \r\n\x84\xDF\x93    \r\n");
    QTest::newRow("question_mark_for_missing_characters")
        << QStringList{"v"}
        << Rows{{QStringLiteral("a中b")}, {QStringLiteral("x\U0001F600y")}, {QStringLiteral("ā")}}
        << QByteArray("a?b    \r\nx?y    \r\n?    \r\n");
}

void TestExportFile::writesRows()
{
    QFETCH(QStringList, names);
    QFETCH(Rows, rows);
    QFETCH(QByteArray, bytes);

    ListRows source(names, rows);
    const QString file = path(QStringLiteral("out.txt"));
    rux::writeExportFile(file, source);
    QCOMPARE(fileBytes(file), bytes);
}

void TestExportFile::readsFieldNamesOncePerResult()
{
    ListRows source({"a", "ix", "c"}, Rows(1000, QStringList{"1", "2", "3"}));
    rux::writeExportFile(path(QStringLiteral("out.txt")), source);
    QCOMPARE(source.fieldNameReads(), 3);
}

void TestExportFile::manyRowsAcrossBufferFlushes()
{
    // Far more than one buffer's worth, with lines of changing length so the
    // buffer boundaries fall inside lines.
    Rows rows;
    QByteArray expected;
    for (int i = 0; i < 60000; ++i) {
        const QString value = QString(i % 37, QChar(u'é')) + QString::number(i);
        rows.append({QString::number(i), value});
        expected += QByteArray::number(i) + "    " + QByteArray(i % 37, '\xE9')
                    + QByteArray::number(i) + "    \r\n";
    }
    ListRows source({"n", "v"}, rows);
    const QString file = path(QStringLiteral("big.txt"));
    rux::writeExportFile(file, source);
    const QByteArray written = fileBytes(file);
    QCOMPARE(written.size(), expected.size());
    QVERIFY(written == expected);
}

void TestExportFile::overwritesLongerFile()
{
    const QString file = path(QStringLiteral("old.txt"));
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    ListRows source({"a"}, Rows{{"neu"}});
    rux::writeExportFile(file, source);
    QCOMPARE(fileBytes(file), QByteArray("neu    \r\n"));
}

void TestExportFile::relativeNameAgainstCurrentDirectory_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("plain_name") << QStringLiteral("rel.txt");
    QTest::newRow("sub_folder") << QStringLiteral("sub/rel.txt");
    QTest::newRow("dot_folder") << QStringLiteral("./sub/../rel.txt");
    QTest::newRow("no_tilde_expansion") << QStringLiteral("~rel.txt");
    QTest::newRow("no_variable_expansion") << QStringLiteral("$HOME.txt");
    QTest::newRow("no_glob_expansion") << QStringLiteral("*.txt");
    QTest::newRow("blank_and_quote_kept") << QStringLiteral("a 'b'.txt");
}

void TestExportFile::relativeNameAgainstCurrentDirectory()
{
    QFETCH(QString, name);

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    ListRows source({"a"}, Rows{{"1"}});
    const QString failure = failureOf(name, source);
    QDir::setCurrent(before);
    QCOMPARE(failure, QStringLiteral("<no failure>"));
    QCOMPARE(fileBytes(QDir(m_dir->path()).filePath(name)), QByteArray("1    \r\n"));
}

void TestExportFile::fileErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("missing_folder")
        << QStringLiteral("no_such_folder/out.txt") << QStringLiteral("Ungültiger Dateiname - %s");
    QTest::newRow("folder_name") << QStringLiteral("folder") << QStringLiteral("Dateizugriff verweigert");
    QTest::newRow("path_through_a_file")
        << QStringLiteral("plain.txt/out.txt") << QStringLiteral("Ungültiger Dateiname - %s");
    QTest::newRow("part_of_name_too_long_for_file_system")
        << QString(256, QChar(u'n')) << QStringLiteral("Ungültiger Dateiname - %s");
    QTest::newRow("empty_name") << QString() << QStringLiteral("Ungültiger Dateiname - %s");
    QTest::newRow("nul_in_name")
        << (QStringLiteral("out") + QChar(0) + QStringLiteral(".txt"))
        << QStringLiteral("E/A-Fehler %1").arg(1000 + EINVAL);
}

void TestExportFile::fileErrors()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QFile plain(path(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    // Relative names, so that the length rule for whole names plays no part.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const int descriptors = openDescriptorCount();
    ListRows source({"a"}, Rows{{"1"}});
    const QString failure = failureOf(name, source);
    const int descriptorsAfter = openDescriptorCount();
    QDir::setCurrent(before);
    QCOMPARE(failure, text);
    QCOMPARE(descriptorsAfter, descriptors);
    QVERIFY(!QFile::exists(path(QStringLiteral("out"))));
}

void TestExportFile::diskFull_data()
{
    QTest::addColumn<int>("rowCount");

    // A short export fails at the last write, a long one at a buffer flush
    // in the middle of the rows.
    QTest::newRow("fails_at_the_end") << 3;
    QTest::newRow("fails_in_the_middle") << 100000;
}

void TestExportFile::diskFull()
{
    QFETCH(int, rowCount);
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("this system has no /dev/full");

    ListRows source({"a", "b"}, Rows(rowCount, QStringList{"value", "another value"}));
    const int descriptors = openDescriptorCount();
    QCOMPARE(failureOf(QStringLiteral("/dev/full"), source), QStringLiteral("Zu wenig Speicherplatz"));
    QCOMPARE(openDescriptorCount(), descriptors);
}

void TestExportFile::nameLengthLimit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("259_characters_accepted") << 259 << true;
    QTest::newRow("260_characters_refused") << 260 << false;
    QTest::newRow("300_characters_refused") << 300 << false;
}

void TestExportFile::nameLengthLimit()
{
    QFETCH(int, length);
    QFETCH(bool, accepted);

    // An absolute name of exactly `length` characters made of parts the
    // file system takes ("./" steps and a short file name), so only the
    // length rule can refuse it.
    const QString folder = m_dir->path() + QLatin1Char('/');
    const int rest = length - int(folder.size()) - 100;
    QVERIFY2(rest >= 0, "temporary folder path too long for this test");
    const QString name = folder + QStringLiteral("./").repeated(rest / 2)
                         + QString(96 + rest % 2, QChar(u'n')) + QStringLiteral(".txt");
    QCOMPARE(name.size(), length);

    ListRows source({"a"}, Rows{{"1"}});
    if (accepted) {
        rux::writeExportFile(name, source);
        QCOMPARE(fileBytes(name), QByteArray("1    \r\n"));
    } else {
        QCOMPARE(failureOf(name, source), QStringLiteral("Ungültiger Dateiname - %s"));
        QVERIFY(!QFile::exists(name));
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }
}

void TestExportFile::readOnlyFolder()
{
    if (::geteuid() == 0)
        QSKIP("running as root: a read-only folder does not stop root from writing");

    const QString folder = path(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    ListRows source({"a"}, Rows{{"1"}});
    const QString text = failureOf(folder + QStringLiteral("/out.txt"), source);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QCOMPARE(text, QStringLiteral("Dateizugriff verweigert"));
}

void TestExportFile::sourceFailureClosesFile_data()
{
    QTest::addColumn<ThrowAt>("where");
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("kept");

    // What reached the file before the failure: the complete lines only.
    QTest::newRow("first") << ThrowAt::First << 0 << QByteArray();
    QTest::newRow("field_count_on_first_row") << ThrowAt::FieldCount << 0 << QByteArray();
    QTest::newRow("field_name") << ThrowAt::FieldName << 0 << QByteArray();
    QTest::newRow("as_string_mid_way") << ThrowAt::AsString << 2 << QByteArray("0    0    \r\n1    1    \r\n");
    QTest::newRow("next_after_a_line") << ThrowAt::Next << 1 << QByteArray("0    0    \r\n1    1    \r\n");
    QTest::newRow("eof") << ThrowAt::Eof << 3 << QByteArray("0    0    \r\n1    1    \r\n2    2    \r\n");
}

void TestExportFile::sourceFailureClosesFile()
{
    QFETCH(ThrowAt, where);
    QFETCH(int, row);
    QFETCH(QByteArray, kept);

    Rows rows;
    for (int i = 0; i < 5; ++i)
        rows.append({QString::number(i), QString::number(i)});
    ListRows source({"a", "b"}, rows);
    source.throwAt(where, row);

    const QString file = path(QStringLiteral("partial.txt"));
    const int descriptors = openDescriptorCount();
    QCOMPARE(failureOf(file, source), QStringLiteral("Zeile %1 nicht lesbar").arg(row));
    QCOMPARE(openDescriptorCount(), descriptors);
    QCOMPARE(fileBytes(file), kept);
}

QTEST_GUILESS_MAIN(TestExportFile)
#include "tst_exportfile.moc"
