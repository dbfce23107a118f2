#include "exec/batchcut.h"

#include "script/scriptlines.h"

#include <algorithm>

namespace rux {

namespace {

// The index, in lines, of the statement line that holds position `at`.
std::size_t lineIndexAt(const CutBatch &batch, qsizetype at)
{
    const QStringView before = QStringView(batch.text).left(qBound<qsizetype>(0, at, batch.text.size()));
    return std::min<std::size_t>(before.count(u'\n'), batch.lines.empty() ? 0 : batch.lines.size() - 1);
}

} // namespace

int CutBatch::lineAt(qsizetype at) const
{
    return lines.empty() ? first : lines[lineIndexAt(*this, at)];
}

qsizetype CutBatch::columnAt(qsizetype at) const
{
    return at - (QStringView(text).left(qBound<qsizetype>(0, at, text.size())).lastIndexOf(u'\n') + 1);
}

void BatchCutter::startBatch()
{
    m_batch = CutBatch();
    m_ended = false;
}

LineKind BatchCutter::take(int index, const QString &line)
{
    if (m_ended)
        startBatch();
    const LineKind kind = sortLine(line);
    switch (kind) {
    case LineKind::Dropped:
    case LineKind::Empty:
    case LineKind::Comment:
        break;
    case LineKind::BatchEnd:
        if (m_batch.first < 0)
            m_batch.first = m_batch.last = index;
        m_batch.goLine = index;
        m_batch.protect = m_batch.dropLine >= 0;
        m_ended = true;
        break;
    case LineKind::Statement:
        if (m_batch.first < 0)
            m_batch.first = index;
        m_batch.last = index;
        if (m_batch.dropLine < 0) {
            const qsizetype at = dropPosition(line);
            if (at >= 0) {
                m_batch.dropLine = index;
                m_batch.dropColumn = int(at);
            }
        }
        if (m_keepText) {
            m_batch.text += line;
            m_batch.text += QLatin1String("\r\n");
            m_batch.lines.push_back(index);
        }
        break;
    }
    return kind;
}

bool BatchCutter::finish()
{
    if (m_ended)
        startBatch();
    m_ended = true;
    // The trailing batch runs as it is, its failures never silenced.
    m_batch.protect = false;
    return m_batch.first >= 0;
}

std::vector<CutBatch> cutBatches(const ScriptLines &lines)
{
    std::vector<CutBatch> batches;
    BatchCutter cutter;
    const int count = lines.lineCount();
    for (int i = 0; i < count; ++i) {
        if (cutter.take(i, lines.line(i)) == LineKind::BatchEnd)
            batches.push_back(cutter.batch());
    }
    if (cutter.finish())
        batches.push_back(cutter.batch());
    return batches;
}

} // namespace rux
