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
    m_editor->setPlainText(toEditorBreaks(text));
}

} // namespace rux
