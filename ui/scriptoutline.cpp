#include "ui/scriptoutline.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace rux {

namespace {

// Spans kept at most: a few screens of them.
constexpr size_t kSpansKept = 256;

} // namespace

ScriptOutline::ScriptOutline(QTextDocument *document)
    : QObject(document), m_document(document), m_blockCount(document->blockCount())
{
    connect(document, &QTextDocument::contentsChange, this, &ScriptOutline::contentsChanged);
}

QString ScriptOutline::lineText(int line) const
{
    return m_document->findBlockByNumber(line).text();
}

LineKind ScriptOutline::kindOf(int line) const
{
    return sortLine(lineText(line));
}

std::shared_ptr<const ScriptOutline::Span> ScriptOutline::spanOf(int line)
{
    if (line < 0 || line >= m_document->blockCount())
        return nullptr;
    const auto at = std::lower_bound(m_spans.begin(), m_spans.end(), line,
                                     [](const std::shared_ptr<const Span> &s, int l) { return s->to < l; });
    if (at != m_spans.end() && (*at)->from <= line)
        return *at;

    auto span = std::make_shared<Span>();
    // Back to the line after the "go" above, then on to the next "go".
    QTextBlock block = m_document->findBlockByNumber(line);
    QTextBlock first = block;
    for (QTextBlock b = block.previous(); b.isValid(); b = b.previous()) {
        if (sortLine(b.text()) == LineKind::BatchEnd)
            break;
        first = b;
    }
    span->from = first.blockNumber();
    BatchCutter cutter;
    QTextBlock b = first;
    for (; b.isValid(); b = b.next()) {
        span->to = b.blockNumber();
        if (cutter.take(span->to, b.text()) == LineKind::BatchEnd) {
            span->hasBatch = true;
            span->batch = cutter.batch();
            break;
        }
    }
    if (!b.isValid() && cutter.finish()) {
        span->hasBatch = true;
        span->batch = cutter.batch();
    }
    if (span->hasBatch && !span->batch.isEmpty()) {
        span->reading = readBatch(span->batch.text);
        const CutBatch &batch = span->batch;
        const auto place = [&batch](qsizetype at) { return Span::Place{batch.lineAt(at), batch.columnAt(at)}; };
        const ExportClause &clause = span->reading.exportClause;
        if (clause.found && clause.end > clause.at) {
            span->exportFrom = place(clause.at);
            span->exportTo = place(clause.end - 1);
        }
        if (span->reading.editTableAt >= 0) {
            span->editFrom = place(span->reading.editTableAt);
            span->editTo = place(batch.text.size() - 1);
        }
    }

    if (m_spans.size() >= kSpansKept)
        m_spans.clear();
    const auto place = std::lower_bound(m_spans.begin(), m_spans.end(), span->from,
                                        [](const std::shared_ptr<const Span> &s, int l) { return s->to < l; });
    m_spans.insert(place, span);
    return span;
}

int ScriptOutline::batchNumber(const Span &span) const
{
    int number = 1;
    for (QTextBlock b = m_document->firstBlock(); b.isValid() && b.blockNumber() < span.from; b = b.next()) {
        if (sortLine(b.text()) == LineKind::BatchEnd)
            ++number;
    }
    return number;
}

// An edit changes the spans of the lines it touches and of the lines next
// to them (a "go" typed or taken away joins or splits spans there); the
// spans below it move by the lines it added or removed.
void ScriptOutline::contentsChanged(int position, int, int added)
{
    const int blocks = m_document->blockCount();
    const int delta = blocks - m_blockCount;
    m_blockCount = blocks;
    if (m_spans.empty())
        return;
    const int firstChanged = m_document->findBlock(position).blockNumber();
    const QTextBlock lastBlock = m_document->findBlock(position + added);
    const int lastChanged = lastBlock.isValid() ? lastBlock.blockNumber() : blocks - 1;
    // The changed lines as they stood before the edit.
    const int lastBefore = lastChanged - delta;
    std::vector<std::shared_ptr<const Span>> kept;
    kept.reserve(m_spans.size());
    for (const std::shared_ptr<const Span> &s : m_spans) {
        if (s->to < firstChanged - 1) {
            kept.push_back(s);
        } else if (s->from > lastBefore + 1) {
            auto moved = std::make_shared<Span>(*s);
            moved->from += delta;
            moved->to += delta;
            if (moved->hasBatch) {
                CutBatch &batch = moved->batch;
                batch.first += delta;
                batch.last += delta;
                if (batch.goLine >= 0)
                    batch.goLine += delta;
                if (batch.dropLine >= 0)
                    batch.dropLine += delta;
                for (int &l : batch.lines)
                    l += delta;
                for (Span::Place *place : {&moved->exportFrom, &moved->exportTo, &moved->editFrom, &moved->editTo}) {
                    if (place->line >= 0)
                        place->line += delta;
                }
            }
            kept.push_back(std::move(moved));
        }
    }
    m_spans = std::move(kept);
}

} // namespace rux
