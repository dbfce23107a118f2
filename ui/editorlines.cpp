#include "editorlines.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace rux {

namespace {

// The editor keeps one block per line; "\n" is its only break. Text
// without a CR comes back as it is, sharing its data.
QString toEditorBreaks(const QString &text)
{
    qsizetype cr = text.indexOf(u'\r');
    if (cr < 0)
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    while (cr >= 0) {
        out.append(QStringView(text).sliced(from, cr - from));
        out += u'\n';
        from = cr + 1;
        if (from < text.size() && text[from] == u'\n')
            ++from;
        cr = text.indexOf(u'\r', from);
    }
    out.append(QStringView(text).sliced(from));
    return out;
}

// Characters that the document takes as the start of a new block when they
// are inserted (besides the line breaks, which are "\n" by now).
bool startsBlocks(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1)
            return true;
    }
    return false;
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

struct EditorLines::Mirror
{
    QPointer<QTextDocument> document;
    QMetaObject::Connection changed;
    QMetaObject::Connection contentsChanged;
    quint64 changes = 0;   // changes the document has reported
    quint64 matchedAt = 0; // `changes` when `lines` last matched the document
    bool valid = false;
    bool droppedLast = false; // an empty last block is not a line
    QStringList lines;
};

EditorLines::EditorLines(QPlainTextEdit *editor)
    : m_editor(editor), m_mirror(std::make_shared<Mirror>())
{
}

const QStringList &EditorLines::lines() const
{
    Mirror &m = *m_mirror;
    QTextDocument *doc = m_editor->document();
    if (m.document != doc) {
        QObject::disconnect(m.changed);
        QObject::disconnect(m.contentsChanged);
        // The connections hold the mirror, not this object: copies of an
        // EditorLines share it, and it lives as long as the document.
        const auto count = [mirror = m_mirror]() { ++mirror->changes; };
        m.changed = QObject::connect(doc, &QTextDocument::contentsChange, doc, count);
        m.contentsChanged = QObject::connect(doc, &QTextDocument::contentsChanged, doc, count);
        m.document = doc;
        m.valid = false;
    }
    if (!m.valid || m.matchedAt != m.changes) {
        m.lines.clear();
        m.lines.reserve(doc->blockCount());
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            m.lines.append(b.text());
        m.droppedLast = !m.lines.isEmpty() && m.lines.constLast().isEmpty();
        if (m.droppedLast)
            m.lines.removeLast();
        m.matchedAt = m.changes;
        m.valid = true;
    }
    return m.lines;
}

void EditorLines::keepMirror() const
{
    if (m_mirror->valid)
        m_mirror->matchedAt = m_mirror->changes;
}

int EditorLines::lineCount() const
{
    return int(lines().size());
}

QString EditorLines::line(int index) const
{
    const QStringList &ls = lines();
    if (index < 0 || index >= ls.size())
        return QString();
    return ls.at(index);
}

void EditorLines::setLine(int index, const QString &text)
{
    const QStringList &ls = lines();
    if (index < 0 || index >= ls.size())
        return;
    const QString old = ls.at(index);
    const QString now = toEditorBreaks(text);

    // Only the part between what the old and the new text share at their
    // start and at their end is replaced: the document keeps every text it
    // is given in one growing buffer.
    const qsizetype shorter = qMin(old.size(), now.size());
    qsizetype head = 0;
    while (head < shorter && old[head] == now[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    if (head == old.size() && head == now.size())
        return;

    QTextDocument *doc = m_editor->document();
    const int start = doc->findBlockByNumber(index).position();
    // The span is selected by its positions: moving the cursor to the end
    // of the block would lay the block out first, only to find its last
    // character.
    QTextCursor cursor(doc);
    cursor.setPosition(start + int(head));
    cursor.setPosition(start + int(old.size() - tail), QTextCursor::KeepAnchor);
    cursor.insertText(now.sliced(head, now.size() - head - tail));

    if (startsBlocks(now)) {
        m_mirror->valid = false;
        return;
    }
    m_mirror->lines[index] = now;
    // Inside an edit block the document reports the change when the block
    // ends; endChanges keeps the mirror then.
    if (m_changes.isNull())
        keepMirror();
}

QString EditorLines::text() const
{
    const QStringList &ls = lines();
    QString out = ls.join(QStringLiteral("\r\n"));
    if (m_mirror->droppedLast && !ls.isEmpty())
        out += QStringLiteral("\r\n");
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
    // Nothing but setLine has changed the document inside the block: a
    // mirror that matches it now still matches once the block has ended.
    const bool matches = m_mirror->valid && m_mirror->matchedAt == m_mirror->changes;
    m_changes.endEditBlock();
    m_changes = QTextCursor();
    if (matches)
        keepMirror();
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
