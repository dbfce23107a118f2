#include "ui/editorlines.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace rux {

namespace {

// Wrapping at word boundaries takes time that grows with the square of a
// line's length when the line has no blank to break at: the layout looks
// for a boundary up to the end of the line for every screen line it makes
// (a 200,000-character line takes seconds, a 10 MB line hours). Text with a
// line longer than this is wrapped at any character instead, which costs
// time in proportion to the length.
constexpr qsizetype kWordWrapLineLimit = 16384;

// Changed lines written into the document between two looks at the
// interruption: a few milliseconds of work.
constexpr size_t kLinesPerWrite = 2048;

qsizetype longestLine(const QString &documentText)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = documentText.indexOf(u'\n', start);
        const qsizetype length = (end < 0 ? documentText.size() : end) - start;
        longest = qMax(longest, length);
        if (end < 0)
            return longest;
        start = end + 1;
    }
}

// A place in the text that survives a new text: block and column.
struct Place
{
    int block;
    int column;

    static Place of(const QTextDocument *document, int position)
    {
        const QTextBlock b = document->findBlock(position);
        return b.isValid() ? Place{b.blockNumber(), position - b.position()} : Place{0, 0};
    }
    int in(const QTextDocument *document) const
    {
        const QTextBlock b = document->findBlockByNumber(block);
        if (!b.isValid())
            return document->characterCount() - 1;
        return b.position() + qMin(column, b.length() - 1);
    }
};

} // namespace

struct EditorLines::State
{
    std::weak_ptr<State> self;
    QPointer<QPlainTextEdit> editor;
    QPointer<QTextDocument> document;
    QMetaObject::Connection changed;
    LineStore store;
    // The document's block count when it was last in step with the store.
    int documentBlocks = 1;
    // A change of our own is being made to the document.
    bool applying = false;
    bool bracket = false;
    bool behind = false;
    // The document lags the store: by the blocks in `pending`, or wholly.
    bool wholeText = false;
    std::vector<int> pending;
    std::function<bool()> interrupted;

    ~State() { QObject::disconnect(changed); }

    void attach();
    void listen();
    void takeDocument();
    void documentChanged(int position, int added);
    void writeDocument(bool keepPlace);
    void writePending();
    void bringDocumentInStep();
};

void EditorLines::State::attach()
{
    if (!editor || !editor->document() || editor->document() == document)
        return;
    listen();
    // A document the store has not seen: its text is the script's.
    takeDocument();
}

void EditorLines::State::listen()
{
    QObject::disconnect(changed);
    document = editor->document();
    changed = QObject::connect(document, &QTextDocument::contentsChange, document,
                               [weak = self](int position, int, int added) {
                                   if (const std::shared_ptr<State> s = weak.lock())
                                       s->documentChanged(position, added);
                               });
}

void EditorLines::State::takeDocument()
{
    QList<QString> blocks;
    blocks.reserve(document->blockCount());
    for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
        blocks.append(b.text());
    store = LineStore::fromBlocks(blocks);
    documentBlocks = document->blockCount();
    wholeText = false;
    pending.clear();
}

void EditorLines::State::documentChanged(int position, int added)
{
    if (applying)
        return;
    // A document that did not show the store's text is what the user sees:
    // it becomes the script.
    if (wholeText || !pending.empty()) {
        takeDocument();
        return;
    }
    // The blocks from the one holding the change's start to the one holding
    // its end replace as many blocks as they were before the change.
    QTextBlock first = document->findBlock(position);
    QTextBlock last = document->findBlock(position + added);
    if (!first.isValid())
        first = document->lastBlock();
    if (!last.isValid())
        last = document->lastBlock();
    const int count = document->blockCount();
    const int from = first.blockNumber();
    const int replaced = last.blockNumber() - from + 1 - (count - documentBlocks);
    if (replaced < 0 || from + replaced > store.blockCount()) {
        takeDocument();
        return;
    }
    QList<QString> blocks;
    for (QTextBlock b = first;; b = b.next()) {
        blocks.append(b.text());
        if (b == last)
            break;
    }
    store.replaceBlocks(from, replaced, blocks);
    documentBlocks = count;
    if (store.blockCount() != count)
        takeDocument();
}

void EditorLines::State::writeDocument(bool keepPlace)
{
    const QString text = store.documentText();
    const QTextCursor cursor = editor->textCursor();
    const Place anchor = Place::of(document, cursor.anchor());
    const Place place = Place::of(document, cursor.position());
    const int scroll = editor->verticalScrollBar()->value();

    applying = true;
    // The mode changes while the editor holds the shorter-lined text, so
    // that neither text is ever laid out at word boundaries with a line
    // over the limit.
    if (longestLine(text) > kWordWrapLineLimit) {
        editor->setWordWrapMode(QTextOption::WrapAnywhere);
        editor->setPlainText(text);
    } else {
        editor->setPlainText(text);
        editor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    }
    applying = false;
    // Should the editor have made a new document for the text, the store
    // listens to that one.
    if (editor->document() != document)
        listen();
    documentBlocks = document->blockCount();
    wholeText = false;
    pending.clear();

    if (keepPlace) {
        QTextCursor kept(document);
        kept.setPosition(anchor.in(document));
        kept.setPosition(place.in(document), QTextCursor::KeepAnchor);
        editor->setTextCursor(kept);
        editor->verticalScrollBar()->setValue(scroll);
    }
}

void EditorLines::State::writePending()
{
    std::sort(pending.begin(), pending.end());
    pending.erase(std::unique(pending.begin(), pending.end()), pending.end());
    applying = true;
    // Lines written by the program start a new undo history: the user's
    // typing is what can be undone, and a pass over a long script is not
    // kept a second time in the undo stack.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    // In parts, each a change of its own that the layout takes in whole,
    // so that between them the windows may repaint and the write may end.
    QTextCursor edit(document);
    edit.beginEditBlock();
    size_t written = 0;
    for (; written < pending.size(); ++written) {
        if (written > 0 && written % kLinesPerWrite == 0 && interrupted) {
            edit.endEditBlock();
            if (interrupted())
                break;
            edit.beginEditBlock();
        }
        const int index = pending[written];
        const QTextBlock block = document->findBlockByNumber(index);
        const QString old = block.text();
        const QString now = store.block(index);
        // Only the part between what the old and the new text share at
        // their start and at their end is replaced: the document keeps
        // every text it is given in one growing buffer.
        const qsizetype shorter = qMin(old.size(), now.size());
        qsizetype head = 0;
        while (head < shorter && old[head] == now[head])
            ++head;
        qsizetype tail = 0;
        while (tail < shorter - head && old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
            ++tail;
        if (head == old.size() && head == now.size())
            continue;
        // The span is selected by its positions: moving the cursor to the
        // end of the block would lay the block out first, only to find its
        // last character.
        QTextCursor cursor(document);
        cursor.setPosition(block.position() + int(head));
        cursor.setPosition(block.position() + int(old.size() - tail), QTextCursor::KeepAnchor);
        cursor.insertText(now.sliced(head, now.size() - head - tail));
    }
    if (written == pending.size())
        edit.endEditBlock();
    // The lines not written keep the document's text.
    for (size_t i = written; i < pending.size(); ++i)
        store.setLine(pending[i], document->findBlockByNumber(pending[i]).text());
    document->setUndoRedoEnabled(undo);
    applying = false;
    pending.clear();
}

void EditorLines::State::bringDocumentInStep()
{
    if (behind || bracket || !document)
        return;
    if (wholeText)
        writeDocument(true);
    else if (!pending.empty())
        writePending();
}

EditorLines::EditorLines(QPlainTextEdit *editor) : m_state(std::make_shared<State>())
{
    m_state->self = m_state;
    m_state->editor = editor;
}

EditorLines::State &EditorLines::state() const
{
    m_state->attach();
    return *m_state;
}

int EditorLines::lineCount() const
{
    return state().store.lineCount();
}

// Reading a line does not look for a new document in the editor: a run and
// a substitution read every line many times, and the count of the lines,
// read before, has looked already.
QString EditorLines::line(int index) const
{
    return m_state->store.line(index);
}

bool EditorLines::lineHolds(int index, char16_t ascii) const
{
    return m_state->store.lineHolds(index, ascii);
}

QString EditorLines::text() const
{
    return state().store.text();
}

void EditorLines::setLine(int index, const QString &text)
{
    State &s = state();
    if (index < 0 || index >= s.store.lineCount())
        return;
    const int blocks = s.store.blockCount();
    s.store.setLine(index, text);
    // A line that became several shifts every later block, and a view left
    // behind may miss any number of lines: the document gets the whole text.
    if (s.store.blockCount() != blocks || s.behind) {
        s.wholeText = true;
        s.pending.clear();
    } else if (!s.wholeText) {
        s.pending.push_back(index);
    }
    s.bringDocumentInStep();
}

void EditorLines::setText(const QString &text)
{
    takeLines(LineStore::fromText(text));
}

void EditorLines::takeLines(LineStore &&lines)
{
    State &s = state();
    s.store = std::move(lines);
    s.pending.clear();
    s.wholeText = true;
    if (s.behind || !s.document)
        return;
    s.writeDocument(false);
}

void EditorLines::beginChanges()
{
    state().bracket = true;
}

void EditorLines::endChanges()
{
    State &s = state();
    s.bracket = false;
    s.bringDocumentInStep();
}

void EditorLines::leaveViewBehind(bool behind)
{
    State &s = state();
    s.behind = behind;
    s.bringDocumentInStep();
}

bool EditorLines::viewLeftBehind() const
{
    return m_state->behind;
}

void EditorLines::setInterruption(std::function<bool()> interrupted)
{
    m_state->interrupted = std::move(interrupted);
}

} // namespace rux
