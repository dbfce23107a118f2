#include "exec/batchcut.h"
#include "exec/batchtext.h"
#include "script/linestore.h"
#include "ui/scripteditor.h"
#include "ui/scriptoutline.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

using namespace rux;

namespace {

// Lines that meet every rule of the script format, in and around their
// edge cases.
const QStringList kPool = {
    QStringLiteral("go"),
    QStringLiteral("  go\t"),
    QStringLiteral("GO"),
    QStringLiteral("go # later"),
    QStringLiteral("' a comment"),
    QStringLiteral(" ' not a comment"),
    QString(),
    QStringLiteral("   "),
    QStringLiteral("select 1"),
    QStringLiteral("select n from t totxt out.txt"),
    QStringLiteral("select n totxt"),
    QStringLiteral("insert into t values (1)"),
    QStringLiteral("drop table if exists t"),
    QStringLiteral("-- a dropped column"),
    QStringLiteral("DROP TABLE t"),
    QStringLiteral("edit_table t"),
    QStringLiteral("EDIT_TABLE orders"),
    QStringLiteral("select $year, $site,"),
    QStringLiteral("update t set v = 'in#side'"),
    QStringLiteral("select 'totxt' as x totxt a.txt"),
};

// What a line's batch is, as one text: its lines, protection, path,
// export and the place of its edit_table.
QString describe(const CutBatch &batch, const BatchReading &reading)
{
    return QStringLiteral("lines %1-%2 go %3 protect %4 drop %5:%6 path %7 export '%8' %9 edit %10 text '%11'")
        .arg(batch.first)
        .arg(batch.last)
        .arg(batch.goLine)
        .arg(batch.protect)
        .arg(batch.dropLine)
        .arg(batch.dropColumn)
        .arg(batchPathName(reading.path), reading.exportClause.fileName)
        .arg(reading.exportClause.at)
        .arg(reading.editTableAt)
        .arg(batch.text);
}

// The run's cut of the whole document against the editor's outline, line
// by line.
void compareWithRun(QTextDocument *document, ScriptOutline &outline, const QString &where)
{
    QList<QString> blocks;
    for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
        blocks.append(b.text());
    const LineStore lines = LineStore::fromBlocks(blocks);
    const std::vector<CutBatch> batches = cutBatches(lines);
    std::vector<QString> expected(blocks.size(), QStringLiteral("none"));
    std::vector<int> numbers(blocks.size(), 0);
    for (size_t i = 0; i < batches.size(); ++i) {
        const CutBatch &b = batches[i];
        const int end = b.goLine >= 0 ? b.goLine : b.last;
        const BatchReading reading = b.isEmpty() ? BatchReading() : readBatch(b.text);
        const auto place = [&b](qsizetype at) {
            return at < 0 ? QStringLiteral("-") : QStringLiteral("%1:%2").arg(b.lineAt(at)).arg(b.columnAt(at));
        };
        const ExportClause &clause = reading.exportClause;
        const QString commands =
            QStringLiteral(" export %1-%2 edit %3-%4")
                .arg(clause.found && clause.end > clause.at ? place(clause.at) : QStringLiteral("-"),
                     clause.found && clause.end > clause.at ? place(clause.end - 1) : QStringLiteral("-"),
                     place(reading.editTableAt), reading.editTableAt >= 0 ? place(b.text.size() - 1) : QStringLiteral("-"));
        for (int l = b.first; l <= end; ++l) {
            expected[l] = describe(b, reading) + commands;
            numbers[l] = int(i) + 1;
        }
    }
    for (int l = 0; l < int(blocks.size()); ++l) {
        const std::shared_ptr<const ScriptOutline::Span> span = outline.spanOf(l);
        QVERIFY2(span, qPrintable(where));
        QString got = QStringLiteral("none");
        int number = 0;
        const int end = span->batch.goLine >= 0 ? span->batch.goLine : span->batch.last;
        if (span->hasBatch && l >= span->batch.first && l <= end) {
            const auto place = [](const ScriptOutline::Span::Place &p) {
                return p.line < 0 ? QStringLiteral("-") : QStringLiteral("%1:%2").arg(p.line).arg(p.column);
            };
            got = describe(span->batch, span->reading)
                + QStringLiteral(" export %1-%2 edit %3-%4")
                      .arg(place(span->exportFrom), place(span->exportTo), place(span->editFrom), place(span->editTo));
            number = outline.batchNumber(*span);
        }
        QVERIFY2(got == expected[l] && number == numbers[l],
                 qPrintable(QStringLiteral("%1, line %2: editor '%3' (batch %4), run '%5' (batch %6)")
                                .arg(where)
                                .arg(l)
                                .arg(got)
                                .arg(number)
                                .arg(expected[l])
                                .arg(numbers[l])));
    }
}

} // namespace

class TestScriptEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outlineAgreesWithRun_data();
    void outlineAgreesWithRun();
    void drawingChangesNothing();
};

void TestScriptEditor::outlineAgreesWithRun_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("seed");

    const QDir corpora(QStringLiteral(RUX_SOURCE_DIR "/fuzz/corpus"));
    for (const QString &corpus : {QStringLiteral("linesort"), QStringLiteral("batchtext")}) {
        const QDir folder(corpora.filePath(corpus));
        const QStringList files = folder.entryList(QDir::Files);
        QVERIFY2(!files.isEmpty(), qPrintable(folder.path()));
        for (const QString &name : files) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QTest::addRow("%s/%s", qPrintable(corpus), qPrintable(name))
                << QString::fromUtf8(file.readAll()) << quint32(name.size());
        }
    }
    // Scripts drawn from the pool.
    for (quint32 seed = 1; seed <= 12; ++seed) {
        QRandomGenerator random(seed);
        QStringList script;
        const int count = random.bounded(1, 80);
        for (int i = 0; i < count; ++i)
            script << kPool[random.bounded(int(kPool.size()))];
        QTest::addRow("generated_%u", seed) << script.join(QStringLiteral("\r\n")) << seed;
    }
}

// The editor cuts a line's batch from the lines around it and keeps what it
// cut until an edit touches it: after every edit it must still read each
// line as the run reads the whole script from the top.
void TestScriptEditor::outlineAgreesWithRun()
{
    QFETCH(QString, text);
    QFETCH(quint32, seed);

    ScriptEditor editor;
    editor.setPlainText(text);
    QTextDocument *document = editor.document();
    compareWithRun(document, *editor.outline(), QStringLiteral("as loaded"));

    QRandomGenerator random(seed);
    for (int edit = 0; edit < 30; ++edit) {
        QTextCursor cursor(document->findBlockByNumber(random.bounded(document->blockCount())));
        QString what;
        switch (random.bounded(5)) {
        case 0:
            what = QStringLiteral("a line put in");
            cursor.insertText(kPool[random.bounded(int(kPool.size()))] + u'\n');
            break;
        case 1:
            what = QStringLiteral("a line taken out");
            cursor.select(QTextCursor::BlockUnderCursor);
            cursor.removeSelectedText();
            break;
        case 2:
            what = QStringLiteral("a line break taken out");
            cursor.movePosition(QTextCursor::EndOfBlock);
            cursor.deleteChar();
            break;
        case 3:
            what = QStringLiteral("a word typed");
            cursor.movePosition(QTextCursor::EndOfBlock);
            cursor.insertText(random.bounded(2) ? QStringLiteral(" drop") : QStringLiteral(" totxt b.txt"));
            break;
        default:
            what = QStringLiteral("a line replaced");
            cursor.select(QTextCursor::BlockUnderCursor);
            cursor.insertText((cursor.position() > 0 ? QStringLiteral("\n") : QString())
                              + kPool[random.bounded(int(kPool.size()))]);
            break;
        }
        compareWithRun(document, *editor.outline(), QStringLiteral("edit %1 (%2)").arg(edit).arg(what));
        if (QTest::currentTestFailed())
            return;
    }
}

namespace {

class PaintCount : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

} // namespace

// The looks are laid onto the lines on screen as they are painted: that
// must neither count as an edit of the script nor ask for painting again
// and again.
void TestScriptEditor::drawingChangesNothing()
{
    QApplication::setCursorFlashTime(0);
    ScriptEditor editor;
    editor.resize(500, 300);
    QStringList script;
    for (int i = 0; i < 200; ++i)
        script << kPool[i % kPool.size()];
    editor.setPlainText(script.join(u'\n'));
    const QString text = editor.toPlainText();
    QSignalSpy edits(editor.document(), &QTextDocument::contentsChange);
    // The run's failure mark goes with the next edit: drawing is none.
    QSignalSpy textChanges(&editor, &QPlainTextEdit::textChanged);
    PaintCount count;
    editor.viewport()->installEventFilter(&count);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QTRY_VERIFY(count.paints > 0);
    // Drawn with the looks of its lines.
    const QTextBlock go = editor.document()->findBlockByNumber(0);
    QVERIFY(!go.layout()->formats().isEmpty());
    QTest::qWait(100);
    const int settled = count.paints;
    QTest::qWait(300);
    QCOMPARE(count.paints, settled);
    QCOMPARE(edits.count(), 0);
    QCOMPARE(textChanges.count(), 0);
    QCOMPARE(editor.toPlainText(), text);
    QVERIFY(!editor.document()->isUndoAvailable());
}

QTEST_MAIN(TestScriptEditor)
#include "tst_scripteditor.moc"
