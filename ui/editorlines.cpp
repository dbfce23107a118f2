#include "editorlines.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace rux {

namespace {

// The editor keeps one block per line; "\n" is its only break.
QString toEditorBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// Wrapping at word boundaries takes time that grows with the square of a
// line's length when the line has no blank to break at: the layout looks
// for a boundary up to the end of the line for every screen line it makes
// (a 200,000-character line takes seconds, a 10 MB line hours). Text with a
// line longer than this is wrapped at any character instead, which costs
// time in proportion to the length.
constexpr qsizetype kWordWrapLineLimit = 16384;

qsizetype longestLine(const QString &editorText)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = editorText.indexOf(u'\n', start);
        const qsizetype length = (end < 0 ? editorText.size() : end) - start;
        longest = qMax(longest, length);
        if (end < 0)
            return longest;
        start = end + 1;
    }
}

} // namespace

int EditorLines::lineCount() const
{
    const QTextDocument *doc = m_editor->document();
    const int blocks = doc->blockCount();
    return doc->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

QString EditorLines::line(int index) const
{
    if (index < 0 || index >= lineCount())
        return QString();
    return m_editor->document()->findBlockByNumber(index).text();
}

void EditorLines::setLine(int index, const QString &text)
{
    if (index < 0 || index >= lineCount())
        return;
    const QTextBlock block = m_editor->document()->findBlockByNumber(index);
    // The block's text is selected by its positions: moving the cursor to
    // the end of the block would lay the block out first, only to find its
    // last character.
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(toEditorBreaks(text));
}

// Built block by block: QTextDocument::toPlainText would turn no-break
// spaces into blanks.
QString EditorLines::text() const
{
    const QTextDocument *doc = m_editor->document();
    QString out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (b != doc->begin())
            out += QStringLiteral("\r\n");
        out += b.text();
    }
    return out;
}

void EditorLines::beginChanges()
{
    if (!m_changes.isNull())
        return;
    m_changes = QTextCursor(m_editor->document());
    m_changes.beginEditBlock();
}

void EditorLines::endChanges()
{
    if (m_changes.isNull())
        return;
    m_changes.endEditBlock();
    m_changes = QTextCursor();
}

void EditorLines::setText(const QString &text)
{
    const QString editorText = toEditorBreaks(text);
    // The mode changes while the editor holds the shorter-lined text, so
    // that neither text is ever laid out at word boundaries with a line
    // over the limit.
    if (longestLine(editorText) > kWordWrapLineLimit) {
        m_editor->setWordWrapMode(QTextOption::WrapAnywhere);
        m_editor->setPlainText(editorText);
    } else {
        m_editor->setPlainText(editorText);
        m_editor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    }
}

} // namespace rux
