// The parameter grid's cells and the script editor's lines.

#include "script/linestore.h"
#include "tests/support/gridinput.h"
#include "ui/editorlines.h"
#include "ui/stringgrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTest>

using rux::EditorLines;
using rux::StringGrid;

class TestWidgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stringGridShape()
    {
        StringGrid grid;
        QCOMPARE(grid.columnCount(), 2);
        QCOMPARE(grid.rowCount(), 6);
        for (int c = 0; c < 2; ++c)
            QCOMPARE(grid.columnWidth(c), 120);
        for (int r = 0; r < 6; ++r)
            QCOMPARE(grid.rowHeight(r), 24);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 2; ++c)
                QCOMPARE(grid.cell(c, r), QString());
    }

    void onlyValueCellsEditable_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("editable");
        QTest::newRow("fixed_corner") << 0 << 0 << false;
        QTest::newRow("fixed_row_value_column") << 1 << 0 << false;
        QTest::newRow("name_column") << 0 << 3 << false;
        QTest::newRow("first_value") << 1 << 1 << true;
        QTest::newRow("last_value") << 1 << 5 << true;
    }

    void onlyValueCellsEditable()
    {
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(bool, editable);
        StringGrid grid;
        QCOMPARE(bool(grid.model()->flags(grid.model()->index(row, column)) & Qt::ItemIsEditable), editable);
    }

    void rowsBeyondTheGridAreStored()
    {
        StringGrid grid;
        grid.setCell(0, 6, QStringLiteral("$p6"));
        grid.setCell(1, 6, QStringLiteral("v6"));
        grid.setCell(1, 10, QStringLiteral("v10"));
        grid.setCell(0, 2, QStringLiteral("$p2"));
        QCOMPARE(grid.rowCount(), 6);
        QCOMPARE(grid.cell(0, 6), QStringLiteral("$p6"));
        QCOMPARE(grid.cell(1, 6), QStringLiteral("v6"));
        QCOMPARE(grid.cell(1, 10), QStringLiteral("v10"));
        QCOMPARE(grid.cell(0, 10), QString());
        QCOMPARE(grid.cell(0, 2), QStringLiteral("$p2"));
        QCOMPARE(grid.item(2, 0)->text(), QStringLiteral("$p2"));
        QCOMPARE(grid.cell(2, 1), QString());
        QCOMPARE(grid.cell(0, -1), QString());
    }

    // What the user types is in the cell while the editor is still open,
    // whether the first key opened the editor or a click on the current
    // cell did, the keys following at once: no editor opens later over them.
    void typedTextStoredWhileEditorOpen_data()
    {
        QTest::addColumn<bool>("clickFirst");
        QTest::newRow("first_key_opens_editor") << false;
        QTest::newRow("click_on_current_cell_then_keys") << true;
    }

    void typedTextStoredWhileEditorOpen()
    {
        QFETCH(bool, clickFirst);
        StringGrid grid;
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        grid.setCurrentCell(2, 1);
        if (clickFirst) {
            rux::test::clickCurrentCellAndType(&grid, QStringLiteral("abc"));
        } else {
            QTest::keyClick(&grid, Qt::Key_A);
            QVERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("bc"));
        }
        QCOMPARE(grid.cell(1, 2), QStringLiteral("abc"));
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("abc"));
    }

    void lineCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << 0 << QStringList();
        QTest::newRow("single_blank") << QStringLiteral(" ") << 1 << QStringList({" "});
        QTest::newRow("two_lines") << QStringLiteral("a\r\nb") << 2 << QStringList({"a", "b"});
        QTest::newRow("trailing_break") << QStringLiteral("a\r\nb\r\n") << 2 << QStringList({"a", "b"});
        QTest::newRow("empty_middle_line") << QStringLiteral("a\r\n\r\nb") << 3 << QStringList({"a", "", "b"});
        QTest::newRow("lone_lf") << QStringLiteral("a\nb") << 2 << QStringList({"a", "b"});
        QTest::newRow("lone_cr") << QStringLiteral("a\rb") << 2 << QStringList({"a", "b"});
        QTest::newRow("only_break") << QStringLiteral("\r\n") << 1 << QStringList({""});
        QTest::newRow("no_break_space_kept") << QStringLiteral("a\u00A0b") << 1 << QStringList({"a\u00A0b"});
        QTest::newRow("line_separator_kept") << QStringLiteral("a\u2028b") << 1 << QStringList({"a\u2028b"});
        QTest::newRow("tab_and_form_feed_kept") << QStringLiteral("a\tb\fc") << 1 << QStringList({"a\tb\fc"});
        QTest::newRow("nul_kept") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << 1
                                  << QStringList({QStringLiteral("a") + QChar(0) + QStringLiteral("b")});
        QTest::newRow("cr_cr_lf_two_breaks") << QStringLiteral("a\r\r\nb") << 3 << QStringList({"a", "", "b"});
        QTest::newRow("paragraph_separator_breaks") << QStringLiteral("a\u2029b") << 2 << QStringList({"a", "b"});
        QTest::newRow("frame_marks_break") << QStringLiteral("a\uFDD0b\uFDD1c") << 3 << QStringList({"a", "b", "c"});
        QTest::newRow("mark_at_line_start_kept") << QStringLiteral("a\r\n\uFEFFb") << 2
                                                 << QStringList({"a", QStringLiteral("\uFEFFb")});
    }

    void lineCount()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QStringList, lines);
        QPlainTextEdit editor;
        EditorLines l(&editor);
        l.setText(text);
        QCOMPARE(l.lineCount(), count);
        QStringList got;
        for (int i = 0; i < l.lineCount(); ++i)
            got << l.line(i);
        QCOMPARE(got, lines);
        QCOMPARE(l.text(), lines.join(QStringLiteral("\r\n")) + (text.endsWith(u'\n') ? QStringLiteral("\r\n") : QString()));
        QCOMPARE(l.line(count), QString());
        QCOMPARE(l.line(-1), QString());
        // The editor shows the same lines, and a store alone splits the
        // text as the editor does.
        QCOMPARE(documentLines(editor), lines);
        const rux::LineStore store = rux::LineStore::fromText(text);
        QCOMPARE(readLines(store), lines);
        QCOMPARE(store.text(), l.text());
    }

    void textJoinsWithCrLf()
    {
        QPlainTextEdit editor;
        EditorLines l(&editor);
        l.setText(QStringLiteral("a\nb\rc\r\nd\u00A0e"));
        QCOMPARE(l.text(), QStringLiteral("a\r\nb\r\nc\r\nd\u00A0e"));
    }

    void setLineKeepsOthers()
    {
        QPlainTextEdit editor;
        EditorLines l(&editor);
        l.setText(QStringLiteral("one\r\ntwo\r\nthree"));
        l.setLine(1, QStringLiteral("2\u00A0x"));
        QCOMPARE(l.text(), QStringLiteral("one\r\n2\u00A0x\r\nthree"));
        l.setLine(0, QString());
        QCOMPARE(l.text(), QStringLiteral("\r\n2\u00A0x\r\nthree"));
        l.setLine(3, QStringLiteral("ignored"));
        QCOMPARE(l.lineCount(), 3);
    }

    // The lines as the document itself holds them, read without the
    // object under test.
    static QStringList documentLines(const QPlainTextEdit &editor)
    {
        QStringList out;
        for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next())
            out << b.text();
        if (out.size() > 1 && out.constLast().isEmpty())
            out.removeLast();
        else if (out == QStringList({QString()}))
            out.clear();
        return out;
    }

    static QStringList readLines(const rux::ScriptLines &l)
    {
        QStringList out;
        for (int i = 0; i < l.lineCount(); ++i)
            out << l.line(i);
        return out;
    }

    void setLineMatchesDocument_data()
    {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("expected");
        const auto around = [](QStringList middle) { return QStringList({"first"}) + middle + QStringList({"last"}); };
        QTest::newRow("unchanged") << "a = $p" << "a = $p" << around({"a = $p"});
        QTest::newRow("middle") << "a = $p and" << "a = 42 and" << around({"a = 42 and"});
        QTest::newRow("start") << "$p = a" << "value = a" << around({"value = a"});
        QTest::newRow("end") << "a = $p" << "a = " << around({"a = "});
        QTest::newRow("repeated_letters") << "aaaa" << "aaa" << around({"aaa"});
        QTest::newRow("repeated_longer") << "abab" << "ababab" << around({"ababab"});
        QTest::newRow("to_empty") << "$p" << "" << around({""});
        QTest::newRow("from_empty") << "" << "x" << around({"x"});
        QTest::newRow("no_break_space") << "a $p" << QStringLiteral("a \u00A0b") << around({QStringLiteral("a \u00A0b")});
        QTest::newRow("crlf_splits") << "a $p" << "a 1\r\n2" << around({"a 1", "2"});
        QTest::newRow("lone_cr_splits") << "a $p" << "a 1\r2" << around({"a 1", "2"});
        QTest::newRow("paragraph_separator_splits") << "a $p" << QStringLiteral("a 1\u20292") << around({"a 1", "2"});
        QTest::newRow("line_separator_stays") << "a $p" << QStringLiteral("a 1\u20282") << around({QStringLiteral("a 1\u20282")});
    }

    // Every line read after a change, through the object or straight from
    // the document, is the same; the same holds inside a bracket of changes
    // and after it.
    void setLineMatchesDocument()
    {
        QFETCH(QString, old);
        QFETCH(QString, now);
        QFETCH(QStringList, expected);
        for (const bool bracket : {false, true}) {
            QPlainTextEdit editor;
            EditorLines l(&editor);
            l.setText(QStringLiteral("first\r\n") + old + QStringLiteral("\r\nlast"));
            QCOMPARE(l.line(1), old);
            if (bracket)
                l.beginChanges();
            l.setLine(1, now);
            QCOMPARE(readLines(l), expected);
            if (bracket)
                l.endChanges();
            QCOMPARE(documentLines(editor), expected);
            QCOMPARE(readLines(l), expected);
            QCOMPARE(l.text(), expected.join(QStringLiteral("\r\n")));
        }
    }

    // Changes that do not come through the object (typing, another owner
    // of the editor) are seen at the next read.
    void seesChangesMadeElsewhere()
    {
        QPlainTextEdit editor;
        EditorLines l(&editor);
        l.setText(QStringLiteral("one\r\ntwo\r\n"));
        QCOMPARE(readLines(l), QStringList({"one", "two"}));
        QCOMPARE(l.text(), QStringLiteral("one\r\ntwo\r\n"));

        QTextCursor typing(editor.document());
        typing.setPosition(4);
        typing.insertText(QStringLiteral("2 "));
        QCOMPARE(readLines(l), QStringList({"one", "2 two"}));

        l.setLine(0, QStringLiteral("1"));
        typing.movePosition(QTextCursor::End);
        typing.insertText(QStringLiteral("three"));
        QCOMPARE(readLines(l), QStringList({"1", "2 two", "three"}));

        // A bracket of changes, then a change from elsewhere.
        l.beginChanges();
        l.setLine(2, QStringLiteral("3"));
        l.endChanges();
        QCOMPARE(readLines(l), QStringList({"1", "2 two", "3"}));
        typing.setPosition(0);
        typing.insertText(QStringLiteral("0\n"));
        QCOMPARE(readLines(l), QStringList({"0", "1", "2 two", "3"}));

        editor.setPlainText(QStringLiteral("replaced"));
        QCOMPARE(readLines(l), QStringList({"replaced"}));
        editor.clear();
        QCOMPARE(l.lineCount(), 0);
        QCOMPARE(l.text(), QString());

        // A copy reads the same editor and hears of the other's changes.
        EditorLines copy = l;
        l.setText(QStringLiteral("a\r\nb"));
        QCOMPARE(readLines(copy), QStringList({"a", "b"}));
        copy.setLine(1, QStringLiteral("c"));
        QCOMPARE(readLines(l), QStringList({"a", "c"}));

        // Another document put into the editor.
        QTextDocument other;
        other.setDocumentLayout(new QPlainTextDocumentLayout(&other));
        other.setPlainText(QStringLiteral("x\ny\nz"));
        editor.setDocument(&other);
        QCOMPARE(readLines(l), QStringList({"x", "y", "z"}));
        editor.setDocument(nullptr);
    }

    // Lines written inside a bracket reach the editor at its end, as one
    // change or as a new text when a line became two: the cursor, its
    // selection and the scroll position stay where they were.
    void bracketKeepsCursorAndScroll_data()
    {
        QTest::addColumn<bool>("lineMadeTwo");
        QTest::newRow("lines_rewritten") << false;
        QTest::newRow("a_line_made_two") << true;
    }

    void bracketKeepsCursorAndScroll()
    {
        QFETCH(bool, lineMadeTwo);
        QPlainTextEdit editor;
        editor.resize(300, 200);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        EditorLines l(&editor);
        QStringList text;
        for (int i = 0; i < 400; ++i)
            text << QStringLiteral("line %1 = $p").arg(i);
        l.setText(text.join(QStringLiteral("\r\n")));
        QTextCursor selection(editor.document()->findBlockByNumber(200));
        selection.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 2);
        selection.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 3);
        editor.setTextCursor(selection);
        editor.verticalScrollBar()->setValue(150);
        const int anchor = editor.textCursor().anchor();
        const int position = editor.textCursor().position();

        // Every line but the cursor's gets longer; the lines before it move
        // the cursor's line further down the text.
        {
            const rux::ScriptLineChanges changes(l);
            for (int i = 0; i < 400; ++i) {
                if (i != 200)
                    l.setLine(i, QStringLiteral("line %1 = value").arg(i));
            }
            if (lineMadeTwo)
                l.setLine(300, QStringLiteral("line 300\r\n= value"));
        }
        QCOMPARE(documentLines(editor), readLines(l));
        QCOMPARE(readLines(l).size(), lineMadeTwo ? 401 : 400);
        const int shift = 200 * 3;
        QCOMPARE(editor.textCursor().anchor(), anchor + shift);
        QCOMPARE(editor.textCursor().position(), position + shift);
        QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("ne "));
        QCOMPARE(editor.verticalScrollBar()->value(), 150);
    }

    void longLineStaysOneLine()
    {
        QPlainTextEdit editor;
        editor.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        editor.resize(100, 200);
        EditorLines l(&editor);
        const QString longLine = QStringLiteral("select ") + QString(300, u'x');
        l.setText(longLine);
        QCOMPARE(l.lineCount(), 1);
        QCOMPARE(l.line(0), longLine);
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
