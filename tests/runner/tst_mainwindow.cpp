// The main window's file handlers (through a double of the dialogs) and the
// start-up procedure init_prj with its command-line arguments.

#include "tests/support/windowfixture.h"

#include "db/adoconnection.h"
#include "tests/support/failureof.h"
#include "script/paramcells.h"
#include "ui/stringgrid.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

using namespace rux;
using namespace rux::test;

namespace {

// The bytes of a script file in `encoding`, made with the toolkit's own
// codecs (Windows-1252 only for texts within Latin-1, where the two agree).
QByteArray bytesIn(TextEncoding encoding, const QString &text)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool little = encoding == TextEncoding::Utf16LE;
        QByteArray out(little ? "\xFF\xFE" : "\xFE\xFF");
        for (const QChar c : text) {
            const char lo = char(c.unicode() & 0xFF);
            const char hi = char(c.unicode() >> 8);
            out.append(little ? lo : hi).append(little ? hi : lo);
        }
        return out;
    }
    default:
        return text.toLatin1();
    }
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void openDbCancelChangesNothing();
    void openDbOpensChosenFile();
    void openDialogProposesLastChoice();
    void openSqlLoadsKeepingGrid();
    void saveDialogProposals();
    void saveAddsSuffix_data();
    void saveAddsSuffix();
    void saveKeepsRememberedEncoding();
    void saveAsksBeforeChangingCharacters_data();
    void saveAsksBeforeChangingCharacters();
    void saveAsksBeforeReplacingAnotherFile_data();
    void saveAsksBeforeReplacingAnotherFile();
    void dialogChoiceSetsCurrentFolder();

    void initPrj_data();
    void initPrj();
    void initPrjStopsAtDbFailure();
    void initPrjDbArgumentOpensAtOnce();
    void initPrjMixedCasePrefixes();
    void initPrjRefusesTooManyParameters();
    void initPrjGoRunsTheEditor();
    void substitutionSeesWhatIsTypedBetweenRows();
    void firstActivationFailure_data();
    void firstActivationFailure();
    void openSqlOfAMissingFile();

private:
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }
    QString initPrj(const QStringList &arguments)
    {
        m_w->main->setArguments(arguments);
        return failureOf([this] { m_w->main->init_prj(); }, {});
    }
    QStringList gridRows()
    {
        QStringList rows;
        for (int r = 1; r <= kMaxParamRows; ++r) {
            const QString n = m_w->main->StringGrid1->cell(0, r);
            const QString v = m_w->main->StringGrid1->cell(1, r);
            if (!n.isEmpty() || !v.isEmpty())
                rows.append(QStringLiteral("%1:%2=%3").arg(r).arg(n, v));
        }
        return rows;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Windows> m_w;
    QString m_db;
    QString m_savedCurrent;
};

void TestMainWindow::init()
{
    m_savedCurrent = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = m_dir->filePath(QStringLiteral("test.db"));
    makeStandardDatabase(m_db);
    m_w = std::make_unique<Windows>();
}

void TestMainWindow::cleanup()
{
    m_w.reset();
    m_dir.reset();
    QDir::setCurrent(m_savedCurrent);
}

void TestMainWindow::openDbCancelChangesNothing()
{
    Trux_pp1 *m = m_w->main.get();
    m->db_f_name = QStringLiteral("before.db");
    const QString label = m->Label2->text();
    m_w->dialogs.openAnswers = {QString()};
    m->Button1Click();
    QCOMPARE(m_w->dialogs.openProposed.size(), 1);
    QCOMPARE(m->db_f_name, QStringLiteral("before.db"));
    QCOMPARE(m->Label2->text(), label);
    QVERIFY(!m->access_con->connected());
}

void TestMainWindow::openDbOpensChosenFile()
{
    Trux_pp1 *m = m_w->main.get();
    m_w->dialogs.openAnswers = {m_db};
    m->Button1Click();
    QCOMPARE(m->db_f_name, m_db);
    QCOMPARE(m->Label2->text(), m_db);
    QVERIFY(m->access_con->connected());
    QCOMPARE(m_w->run(QStringLiteral("select id from t")), QString());
    while (m->DataSource1->canFetchMore(QModelIndex()))
        m->DataSource1->fetchMore(QModelIndex());
    QCOMPARE(m->DataSource1->rowCount(), 2);
}

void TestMainWindow::openDialogProposesLastChoice()
{
    Trux_pp1 *m = m_w->main.get();
    const QString sql = writeFile(QStringLiteral("a.sql"), "select 1\r\n");
    m_w->dialogs.openAnswers = {m_db, sql, QString(), m_db};
    m->Button1Click(); // proposes nothing yet, chooses the database
    m->Button2Click(); // proposes the database, chooses the script
    m->Button1Click(); // proposes the script, cancelled
    m->Button2Click(); // a cancel does not change what is proposed
    QCOMPARE(m_w->dialogs.openProposed, (QStringList{QString(), m_db, sql, sql}));
}

void TestMainWindow::openSqlLoadsKeepingGrid()
{
    Trux_pp1 *m = m_w->main.get();
    m->StringGrid1->setCell(0, 1, QStringLiteral("$keep"));
    m->StringGrid1->setCell(1, 1, QStringLiteral("kept"));
    const QString sql = writeFile(QStringLiteral("b.sql"), "select '$new' from t\r\ngo\r\n");
    m_w->dialogs.openAnswers = {sql};
    m->Button2Click();
    QCOMPARE(m->sql_f_name, sql);
    QCOMPARE(m->Label3->text(), sql);
    QCOMPARE(m->editorLines().line(0), QStringLiteral("select '$new' from t"));
    QCOMPARE(m->StringGrid1->cell(0, 1), QStringLiteral("$keep"));
    QCOMPARE(m->StringGrid1->cell(1, 1), QStringLiteral("kept"));
}

void TestMainWindow::saveDialogProposals()
{
    Trux_pp1 *m = m_w->main.get();
    const QString sql = writeFile(QStringLiteral("loaded.sql"), "select 1\r\n");
    const QString saved = m_dir->filePath(QStringLiteral("saved.sql"));
    m_w->dialogs.openAnswers = {sql};
    m_w->dialogs.saveAnswers = {saved, QString(), m_dir->filePath(QStringLiteral("again.sql"))};
    m->Button2Click();
    m->Button4Click();
    m->Button4Click();
    m->Button4Click();
    QCOMPARE(m_w->dialogs.saveProposed, (QStringList{QString(), saved, saved}));
    QCOMPARE(m_w->dialogs.saveSuffixes.value(0), QStringLiteral("sql"));
    QCOMPARE(m->sql_f_name, sql);
    QCOMPARE(m->Label3->text(), sql);
}

void TestMainWindow::saveAddsSuffix_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("no_extension_gets_sql") << "plain" << "plain.sql";
    QTest::newRow("other_extension_kept") << "notes.txt" << "notes.txt";
}

void TestMainWindow::saveAddsSuffix()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    Trux_pp1 *m = m_w->main.get();
    m->editorLines().setText(QStringLiteral("select 'é'"));
    m_w->dialogs.saveAnswers = {m_dir->filePath(chosen)};
    m->Button4Click();
    // Nothing loaded yet: the ANSI code page, no mark.
    QCOMPARE(fileBytes(m_dir->filePath(written)), QByteArray("select '\xE9'"));
}

void TestMainWindow::saveKeepsRememberedEncoding()
{
    Trux_pp1 *m = m_w->main.get();
    const QString text = QStringLiteral("select 'Ωé' as v\r\ngo");
    QByteArray utf16("\xFF\xFE");
    for (QChar c : text) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    const QString sql = writeFile(QStringLiteral("wide.sql"), utf16);
    const QString out = m_dir->filePath(QStringLiteral("wide_copy.sql"));
    m_w->dialogs.openAnswers = {sql};
    m_w->dialogs.saveAnswers = {out};
    m->Button2Click();
    QCOMPARE(m->editorLines().text(), text);
    m->Button4Click();
    QCOMPARE(fileBytes(out), utf16);
    QCOMPARE(m->rememberedEncoding(), TextEncoding::Utf16LE);
}

void TestMainWindow::saveAsksBeforeChangingCharacters_data()
{
    QTest::addColumn<int>("encoding");      // of the file loaded before
    QTest::addColumn<QByteArray>("loaded"); // empty: nothing loaded
    QTest::addColumn<QString>("typed");     // added to the editor's text
    QTest::addColumn<bool>("agree");        // the answer to a question
    QTest::addColumn<QString>("asked");     // part of the question; empty: none asked
    QTest::addColumn<QByteArray>("saved");  // empty: the target stays as it was
    QTest::addColumn<int>("remembered");

    const QString base = QStringLiteral("select 1\r\n");
    const QString fits = QStringLiteral("-- é");
    const QString unfit = QStringLiteral("-- Dvořák → ok");
    const QString lone = QStringLiteral("-- ") + QChar(char16_t(0xD83D)) + QStringLiteral("x");
    const struct
    {
        TextEncoding encoding;
        const char *name;
    } encodings[] = {{TextEncoding::Ansi, "ansi"}, {TextEncoding::Utf8, "utf8"},
                     {TextEncoding::Utf16LE, "utf16le"}, {TextEncoding::Utf16BE, "utf16be"}};
    for (const auto &e : encodings) {
        const int enc = int(e.encoding);
        const bool ansi = e.encoding == TextEncoding::Ansi;
        const bool utf16 = !ansi && e.encoding != TextEncoding::Utf8;
        const QByteArray loaded = bytesIn(e.encoding, base);
        QTest::addRow("%s_fits", e.name)
            << enc << loaded << fits << false << QString() << bytesIn(e.encoding, base + fits) << enc;
        QTest::addRow("%s_unfit_agree", e.name)
            << enc << loaded << unfit << true
            << (ansi ? QStringLiteral("Windows-1252 (ANSI) cannot hold 2 characters of this script. "
                                      "The first is \"ř\" (U+0159), in line 2, column 7.")
                     : QString())
            << bytesIn(ansi ? TextEncoding::Utf8 : e.encoding, base + unfit)
            << int(ansi ? TextEncoding::Utf8 : e.encoding);
        QTest::addRow("%s_unfit_cancel", e.name)
            << enc << loaded << unfit << false << (ansi ? QStringLiteral("Save as UTF-8") : QString())
            << (ansi ? QByteArray() : bytesIn(e.encoding, base + unfit)) << enc;
        QTest::addRow("%s_lone_surrogate", e.name)
            << enc << loaded << lone << true
            << (utf16 ? QString() : QStringLiteral("1 character of this script. The first is a lone "
                                                   "surrogate (U+D83D), in line 2, column 4."))
            << bytesIn(utf16 ? e.encoding : TextEncoding::Utf16LE, base + lone)
            << int(utf16 ? e.encoding : TextEncoding::Utf16LE);
    }
    // The editor starts with one blank.
    QTest::newRow("nothing_loaded_unfit_agree")
        << int(TextEncoding::None) << QByteArray() << unfit << true << QStringLiteral("[Save as UTF-8]")
        << bytesIn(TextEncoding::Utf8, u' ' + unfit) << int(TextEncoding::Utf8);
    // A file without a mark keeps every byte, those Windows-1252 leaves
    // undefined and UTF-8 read as two characters included.
    const QByteArray raw("select '\x81\x8D\x8F\x90\x9D\xC5\x99'\r\n");
    QTest::newRow("ansi_undefined_bytes")
        << int(TextEncoding::Ansi) << raw << fits << false << QString() << raw + "-- \xE9"
        << int(TextEncoding::Ansi);
}

void TestMainWindow::saveAsksBeforeChangingCharacters()
{
    QFETCH(int, encoding);
    QFETCH(QByteArray, loaded);
    QFETCH(QString, typed);
    QFETCH(bool, agree);
    QFETCH(QString, asked);
    QFETCH(QByteArray, saved);
    QFETCH(int, remembered);
    Trux_pp1 *m = m_w->main.get();
    if (!loaded.isEmpty()) {
        m_w->dialogs.openAnswers = {writeFile(QStringLiteral("loaded.sql"), loaded)};
        m->Button2Click();
    }
    QCOMPARE(int(m->rememberedEncoding()), encoding);
    m->editorLines().setText(m->editorLines().text() + typed);
    const QByteArray before("previous\r\n");
    const QString target = writeFile(QStringLiteral("target.sql"), before);
    m_w->dialogs.saveAnswers = {target};
    m_w->dialogs.replaceAnswers = {true};
    m_w->dialogs.insteadAnswers = {agree};
    m->Button4Click();

    const QStringList questions = m_w->dialogs.questions;
    QCOMPARE(questions.size(), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty())
        QVERIFY2(questions.constFirst().contains(asked), qPrintable(questions.constFirst()));
    QCOMPARE(fileBytes(target), saved.isEmpty() ? before : saved);
    QCOMPARE(int(m->rememberedEncoding()), remembered);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), loaded.isEmpty() ? 2 : 3);
}

// Another file that exists is replaced only after a "yes"; a "no" goes
// back to the dialog with that name. The loaded script and a new file are
// written without a question.
void TestMainWindow::saveAsksBeforeReplacingAnotherFile_data()
{
    QTest::addColumn<QString>("chosen"); // other, loaded or new
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("written");
    QTest::newRow("another_file_replaced") << "other" << QList<bool>{true} << true;
    QTest::newRow("another_file_kept_then_cancelled") << "other" << QList<bool>{false} << false;
    QTest::newRow("loaded_script_without_question") << "loaded" << QList<bool>{} << true;
    QTest::newRow("new_file_without_question") << "new" << QList<bool>{} << true;
}

void TestMainWindow::saveAsksBeforeReplacingAnotherFile()
{
    QFETCH(QString, chosen);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, written);
    Trux_pp1 *m = m_w->main.get();
    const QString loaded = writeFile(QStringLiteral("loaded.sql"), "select 1\r\n");
    m_w->dialogs.openAnswers = {loaded};
    m->Button2Click();
    m->editorLines().setText(QStringLiteral("select 2"));
    const QString other = writeFile(QStringLiteral("other.sql"), "other\r\n");
    const QString target = chosen == QLatin1String("other") ? other
        : chosen == QLatin1String("loaded")                  ? loaded
                                                             : m_dir->filePath(QStringLiteral("new.sql"));
    const QByteArray before = fileBytes(target);
    m_w->dialogs.saveAnswers = {target};
    m_w->dialogs.replaceAnswers = answers;
    m->Button4Click();
    QCOMPARE(m_w->dialogs.replaceAsked, chosen == QLatin1String("other") ? QStringList{other} : QStringList());
    QCOMPARE(fileBytes(target), written ? QByteArray("select 2") : before);
    // A "no" opens the dialog again, on the refused name.
    QCOMPARE(m_w->dialogs.saveProposed.size(), answers == QList<bool>{false} ? 2 : 1);
    QCOMPARE(m_w->dialogs.saveProposed.constLast(), answers == QList<bool>{false} ? other : QString());
}

void TestMainWindow::dialogChoiceSetsCurrentFolder()
{
    Trux_pp1 *m = m_w->main.get();
    QDir(m_dir->path()).mkpath(QStringLiteral("sub/deeper"));
    const QString sub = QFileInfo(m_dir->filePath(QStringLiteral("sub"))).canonicalFilePath();
    const QString deeper = QFileInfo(m_dir->filePath(QStringLiteral("sub/deeper"))).canonicalFilePath();
    QVERIFY(QFile::copy(m_db, sub + QStringLiteral("/copy.db")));
    m_w->dialogs.openAnswers = {sub + QStringLiteral("/copy.db")};
    m->Button1Click();
    QCOMPARE(QFileInfo(QDir::currentPath()).canonicalFilePath(), sub);
    m_w->dialogs.saveAnswers = {deeper + QStringLiteral("/s.sql")};
    m->Button4Click();
    QCOMPARE(QFileInfo(QDir::currentPath()).canonicalFilePath(), deeper);
    // A relative export name now lands in that folder.
    QCOMPARE(m_w->run(QStringLiteral("select name from t where id = 1 totxt rel.txt")), QString());
    QCOMPARE(fileBytes(deeper + QStringLiteral("/rel.txt")), QByteArray("a    \r\n"));
}

void TestMainWindow::initPrj_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("varCount");
    QTest::addColumn<QString>("runId");

    QTest::newRow("no_arguments_resets") << QStringList() << QStringList() << 0 << "-999";
    QTest::newRow("parameter_rows_in_order")
        << QStringList{"$p1=10", "$p2=x", "$p1=again"}
        << QStringList{"1:$p1=10", "2:$p2=x", "3:$p1=again"} << 3 << "-999";
    QTest::newRow("value_keeps_further_equals")
        << QStringList{"$p1=a=b"} << QStringList{"1:$p1=a=b"} << 1 << "-999";
    QTest::newRow("no_equals_whole_argument_is_value")
        << QStringList{"$p1"} << QStringList{"1:=$p1"} << 1 << "-999";
    QTest::newRow("dollar_in_value_makes_a_row")
        << QStringList{"x=$y"} << QStringList{"1:x=$y"} << 1 << "-999";
    QTest::newRow("blank_and_dollar_kept_in_name")
        << QStringList{" $p =v"} << QStringList{"1: $p =v"} << 1 << "-999";
    QTest::newRow("err_p_last_one_wins")
        << QStringList{"ERR_P=1", "err_P=2"} << QStringList() << 0 << "2";
    QTest::newRow("err_p_empty_value") << QStringList{"Err_p="} << QStringList() << 0 << "";
    QTest::newRow("blank_before_equals_is_no_prefix")
        << QStringList{"ERR_P =3", "go1", " GO"} << QStringList() << 0 << "-999";
    QTest::newRow("ten_parameters_fit")
        << QStringList{"$a=1", "$b=2", "$c=3", "$d=4", "$e=5", "$f=6", "$g=7", "$h=8", "$i=9", "$j=10"}
        << QStringList{"1:$a=1", "2:$b=2", "3:$c=3", "4:$d=4", "5:$e=5",
                       "6:$f=6", "7:$g=7", "8:$h=8", "9:$i=9", "10:$j=10"}
        << 10 << "-999";
}

void TestMainWindow::initPrj()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, rows);
    QFETCH(int, varCount);
    QFETCH(QString, runId);

    Trux_pp1 *m = m_w->main.get();
    m->StringGrid1->setCell(0, 1, QStringLiteral("$old"));
    m->StringGrid1->setCell(1, 1, QStringLiteral("old"));
    m->sql_f_name = QStringLiteral("old.sql");
    m->run_id = QStringLiteral("7");
    m->db_f_name = QStringLiteral("kept.db");
    const QString script = QStringLiteral("select 1");
    m->editorLines().setText(script);

    QCOMPARE(initPrj(arguments), QString());
    QCOMPARE(gridRows(), rows);
    QCOMPARE(m->var_count, varCount);
    QCOMPARE(m->run_id, runId);
    QCOMPARE(m->sql_f_name, QString());
    QCOMPARE(m->db_f_name, QStringLiteral("kept.db"));
    QVERIFY(!m->autorun);
    QCOMPARE(m->editorLines().text(), script);
    QVERIFY(!m->access_con->connected());
}

void TestMainWindow::initPrjStopsAtDbFailure()
{
    Trux_pp1 *m = m_w->main.get();
    const QString missing = m_dir->filePath(QStringLiteral("missing.db"));
    const QString sql = writeFile(QStringLiteral("c.sql"), "select 1\r\n");
    const QString failure = initPrj({QStringLiteral("$a=1"), QStringLiteral("DB=") + missing,
                                     QStringLiteral("$b=2"), QStringLiteral("SQL=") + sql,
                                     QStringLiteral("ERR_P=3")});
    QCOMPARE(failure, QStringLiteral("Could not find file '%1'.").arg(missing));
    QCOMPARE(gridRows(), QStringList{QStringLiteral("1:$a=1")});
    QCOMPARE(m->var_count, 1);
    QCOMPARE(m->db_f_name, missing);
    // Nothing is open: the label names no database.
    QCOMPARE(m->Label2->text(), QString());
    QCOMPARE(m->sql_f_name, QString());
    QCOMPARE(m->run_id, QStringLiteral("-999"));
}

void TestMainWindow::initPrjDbArgumentOpensAtOnce()
{
    // A second DB= that fails leaves the first one's database named and the
    // arguments between the two applied.
    Trux_pp1 *m = m_w->main.get();
    const QString missing = m_dir->filePath(QStringLiteral("missing.db"));
    QVERIFY(!initPrj({QStringLiteral("DB=") + m_db, QStringLiteral("ERR_P=8"), QStringLiteral("DB=") + missing})
                 .isEmpty());
    QCOMPARE(m->run_id, QStringLiteral("8"));
    QCOMPARE(m->db_f_name, missing);
    // An empty DB= still tries to open, with an empty name.
    QVERIFY(!initPrj({QStringLiteral("DB=")}).isEmpty());
    QCOMPARE(m->db_f_name, QString());
}

void TestMainWindow::initPrjMixedCasePrefixes()
{
    Trux_pp1 *m = m_w->main.get();
    const QString sql = writeFile(QStringLiteral("d.sql"), "insert into t values (%rid%, $val )\r\ngo\r\n");
    // Without GO: everything is loaded, nothing runs.
    QCOMPARE(initPrj({QStringLiteral("db=") + m_db, QStringLiteral("Sql=") + sql, QStringLiteral("err_p=5"),
                      QStringLiteral("$val='vee'")}),
             QString());
    QVERIFY(m->access_con->connected());
    QCOMPARE(m->sql_f_name, sql);
    QCOMPARE(m->editorLines().line(0), QStringLiteral("insert into t values (5, $val )"));
    // The script's name is the one the argument gave: no second row.
    QCOMPARE(gridRows(), QStringList{QStringLiteral("1:$val='vee'")});
    QCOMPARE(m->var_count, 1);
    QCOMPARE(sqlValues(m_db, QStringLiteral("select count(*) from t")), QStringLiteral("2"));
    // An SQL= path holding "$" also makes a parameter row.
    const QString failure = initPrj({QStringLiteral("SQL=/x/$y")});
    QVERIFY(!failure.isEmpty());
    QCOMPARE(gridRows(), QStringList{QStringLiteral("1:SQL=/x/$y")});
    // The editor keeps the script loaded before, and its name stays.
    QCOMPARE(m->sql_f_name, sql);
    QCOMPARE(m->Label3->text(), sql);
}

void TestMainWindow::initPrjRefusesTooManyParameters()
{
    Trux_pp1 *m = m_w->main.get();
    QStringList arguments{QStringLiteral("ERR_P=4"), QStringLiteral("DB=") + m_db};
    for (int i = 1; i <= kMaxParamRows + 1; ++i)
        arguments.append(QStringLiteral("$p%1=%1").arg(i));
    QCOMPARE(initPrj(arguments), tooManyParametersText());
    QCOMPARE(gridRows(), QStringList());
    QCOMPARE(m->var_count, 0);
    QCOMPARE(m->run_id, QStringLiteral("-999"));
    QVERIFY(!m->access_con->connected());
    QCOMPARE(m->db_f_name, QString());
}

void TestMainWindow::initPrjGoRunsTheEditor()
{
    // GO without SQL= runs what the editor holds, substituted, then closes
    // the connection and asks for the end of the program.
    Trux_pp1 *m = m_w->main.get();
    m->editorLines().setText(QStringLiteral("insert into t values ($id, 'g')\r\ngo\r\n"));
    QCOMPARE(initPrj({QStringLiteral("DB=") + m_db, QStringLiteral("$id=3"), QStringLiteral("go")}), QString());
    QVERIFY(m->autorun);
    QCOMPARE(m->editorLines().line(0), QStringLiteral("insert into t values (3, 'g')"));
    QVERIFY(!m->access_con->connected());
    QVERIFY(Program::instance().endRequested());
    QCOMPARE(sqlValues(m_db, QStringLiteral("select name from t where id = 3")), QStringLiteral("g"));
}

void TestMainWindow::firstActivationFailure_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("secondActivation");
    QTest::addColumn<int>("status");

    QTest::newRow("failing_first_run_with_go_sets_status_1")
        << QStringList{"DB=/nonexistent/x.db", "GO"} << false << 1;
    QTest::newRow("failing_first_run_without_go_keeps_0")
        << QStringList{"DB=/nonexistent/x.db"} << false << 0;
    QTest::newRow("failing_later_run_with_go_keeps_0")
        << QStringList{"DB=/nonexistent/x.db", "GO"} << true << 0;
}

void TestMainWindow::firstActivationFailure()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, secondActivation);
    QFETCH(int, status);

    Trux_pp1 *m = m_w->main.get();
    Program::instance().setExitStatus(0);
    if (secondActivation)
        m->FormActivate(); // the first activation, without arguments, succeeds
    m->setArguments(arguments);
    const QString failure = failureOf([m] { m->FormActivate(); });
    const int seen = Program::instance().exitStatus();
    Program::instance().setExitStatus(0);
    QVERIFY2(failure.startsWith(QStringLiteral("Could not find file")), qPrintable(failure));
    QCOMPARE(seen, status);
}

void TestMainWindow::openSqlOfAMissingFile()
{
    Trux_pp1 *m = m_w->main.get();
    const QString missing = m_dir->filePath(QStringLiteral("none.sql"));
    m->editorLines().setText(QStringLiteral("select 'kept'"));
    m_w->dialogs.openAnswers = {missing};
    const QString failure = failureOf([m] { m->Button2Click(); });
    QVERIFY2(failure.startsWith(QStringLiteral("Datei %1 kann nicht geöffnet werden.").arg(missing)),
             qPrintable(failure));
    // The labels tell what the editor holds: no script loaded from a file.
    QCOMPARE(m->sql_f_name, QString());
    QCOMPARE(m->Label3->text(), QStringLiteral("Label3"));
    QCOMPARE(m->editorLines().text(), QStringLiteral("select 'kept'"));
}

QTEST_MAIN(TestMainWindow)
// The substitution processes events after each row: what the user types
// meanwhile is in the lines the next row's pass reads, and the editor shows
// the lines as the passes left them.
void TestMainWindow::substitutionSeesWhatIsTypedBetweenRows()
{
    Trux_pp1 *m = m_w->main.get();
    m->editorLines().setText(QStringLiteral("select '$a' as x\r\nselect '$b' as y\r\n"));
    m->StringGrid1->setCell(0, 1, QStringLiteral("$a"));
    m->StringGrid1->setCell(1, 1, QStringLiteral("1"));
    m->StringGrid1->setCell(0, 2, QStringLiteral("$b"));
    m->StringGrid1->setCell(1, 2, QStringLiteral("2"));
    m->var_count = 2;
    QPlainTextEdit *memo = m->Memo1;
    QTimer::singleShot(0, m, [memo]() {
        QTextCursor end(memo->document()->firstBlock());
        end.movePosition(QTextCursor::EndOfBlock);
        memo->setTextCursor(end);
        QTest::keyClicks(memo, QStringLiteral(", '$b' as z"));
    });
    m->Button3Click();
    const QStringList expected{QStringLiteral("select '1' as x, '2' as z"), QStringLiteral("select '2' as y")};
    QCOMPARE(m->editorLines().line(0), expected[0]);
    QCOMPARE(m->editorLines().line(1), expected[1]);
    QCOMPARE(memo->document()->firstBlock().text(), expected[0]);
    QCOMPARE(memo->document()->firstBlock().next().text(), expected[1]);
}

#include "tst_mainwindow.moc"
