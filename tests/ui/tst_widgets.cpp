// The parameter grid's cells and the script editor's lines.

#include "editorlines.h"
#include "stringgrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
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

    void typedTextStoredWhileEditorOpen()
    {
        StringGrid grid;
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        grid.setCurrentCell(2, 1);
        QTest::keyClick(&grid, Qt::Key_A);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("bc"));
        QCOMPARE(grid.cell(1, 2), QStringLiteral("abc"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor));
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
