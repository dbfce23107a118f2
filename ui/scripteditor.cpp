#include "ui/scripteditor.h"

#include "script/paramcells.h"
#include "script/substitution.h"
#include "ui/scriptoutline.h"

#include <QHelpEvent>
#include <QPainter>
#include <QSet>
#include <QTextBlock>
#include <QToolTip>

namespace rux {

namespace {

constexpr int kMarginWidth = 14;

const QColor kSkippedColour(0xa3, 0xab, 0xb2);
const QColor kCommentColour(0x7d, 0x88, 0x91);
const QColor kGoColour(0x1f, 0x5f, 0xa8);
const QColor kGoRuleColour(0x9d, 0xb9, 0xd8);
const QColor kCommandText(0x0b, 0x5e, 0x6b);
const QColor kCommandBack(0xcd, 0xe8, 0xec);
const QColor kEditText(0x5b, 0x2f, 0x86);
const QColor kEditBack(0xe6, 0xdb, 0xf3);
const QColor kFilledBack(0xcf, 0xec, 0xcd);
const QColor kUnfilledBack(0xf7, 0xcd, 0xc4);
const QColor kWarningColour(0xb3, 0x26, 0x1e);
const QColor kResultColour(0x5b, 0x93, 0xd0);
const QColor kChangeColour(0xe0, 0x9a, 0x2e);
const QColor kEditingColour(0x9a, 0x6c, 0xc4);

QColor kindColour(const ScriptOutline::Span &span)
{
    if (span.batch.isEmpty())
        return kWarningColour;
    switch (span.reading.path) {
    case BatchPath::ResultSet:
        break;
    case BatchPath::DataChange:
        return kChangeColour;
    case BatchPath::TableEditing:
        return kEditingColour;
    }
    return kResultColour;
}

// The line is one of the batch's own: from its first statement line to
// its "go", or to its last line when no "go" ends it.
bool inBatch(const ScriptOutline::Span &span, int line)
{
    if (!span.hasBatch)
        return false;
    const int end = span.batch.goLine >= 0 ? span.batch.goLine : span.batch.last;
    return line >= span.batch.first && line <= end;
}

QTextLayout::FormatRange range(qsizetype start, qsizetype length, const QTextCharFormat &format)
{
    QTextLayout::FormatRange r;
    r.start = int(start);
    r.length = int(length);
    r.format = format;
    return r;
}

// The part of line `line` that a command from `from` to `to` covers.
bool partInLine(const ScriptOutline::Span::Place &from, const ScriptOutline::Span::Place &to, int line,
                int lineLength, qsizetype *start, qsizetype *length)
{
    if (from.line < 0 || from.line > line || to.line < line)
        return false;
    *start = from.line == line ? from.column : 0;
    const qsizetype stop = to.line == line ? to.column + 1 : lineLength;
    *length = qMin<qsizetype>(stop, lineLength) - *start;
    return *length > 0;
}

QString kindText(const ScriptOutline::Span &span)
{
    switch (span.reading.path) {
    case BatchPath::ResultSet:
        break;
    case BatchPath::DataChange:
        return QStringLiteral("data change: runs without a result");
    case BatchPath::TableEditing:
        return QStringLiteral("table editing: opens the table “%1” by hand while the script waits")
            .arg(span.reading.table.trimmed());
    }
    return span.batch.goLine >= 0 ? QStringLiteral("result: opens a result set")
                                  : QStringLiteral("result: opens a result set, which stays in the grid");
}

} // namespace

class ScriptEditor::Margin : public QWidget
{
public:
    explicit Margin(ScriptEditor *editor) : QWidget(editor), m_editor(editor) { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent *event) override { m_editor->paintMargin(event); }
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip) {
            const auto *help = static_cast<QHelpEvent *>(event);
            m_editor->showToolTip(QPoint(0, help->pos().y()), help->globalPos());
            return true;
        }
        return QWidget::event(event);
    }

private:
    ScriptEditor *m_editor;
};

ScriptEditor::ScriptEditor(QWidget *parent)
    : QPlainTextEdit(parent), m_margin(new Margin(this)), m_outline(new ScriptOutline(document()))
{
    setViewportMargins(kMarginWidth, 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, m_margin, [this](const QRect &rect, int dy) {
        if (dy != 0)
            m_margin->scroll(0, dy);
        else
            m_margin->update(0, rect.y(), m_margin->width(), rect.height());
    });
}

void ScriptEditor::setParameters(const ParamCells *grid, std::function<int()> rowsInUse)
{
    m_grid = grid;
    m_rowsInUse = std::move(rowsInUse);
    parametersChanged();
}

void ScriptEditor::parametersChanged()
{
    viewport()->update();
}

int ScriptEditor::rowsInUse() const
{
    return m_grid && m_rowsInUse ? m_rowsInUse() : 0;
}

QList<QTextLayout::FormatRange> ScriptEditor::lineFormats(int line)
{
    QList<QTextLayout::FormatRange> formats;
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid())
        return formats;
    const QString text = block.text();
    const int length = int(text.size());
    QTextCharFormat f;
    switch (sortLine(text)) {
    case LineKind::Empty:
        return formats;
    case LineKind::Dropped:
        f.setForeground(kSkippedColour);
        f.setFontStrikeOut(true);
        formats.append(range(0, length, f));
        return formats;
    case LineKind::Comment:
        f.setForeground(kCommentColour);
        formats.append(range(0, length, f));
        return formats;
    case LineKind::BatchEnd:
        f.setForeground(kGoColour);
        formats.append(range(0, length, f));
        return formats;
    case LineKind::Statement:
        break;
    }

    if (m_grid) {
        for (const ParameterMark &mark : parameterMarks(text, *m_grid, rowsInUse())) {
            QTextCharFormat p;
            p.setBackground(mark.filled ? kFilledBack : kUnfilledBack);
            if (!mark.filled) {
                p.setUnderlineStyle(QTextCharFormat::WaveUnderline);
                p.setUnderlineColor(kWarningColour);
            }
            formats.append(range(mark.at, mark.length, p));
        }
    }

    const std::shared_ptr<const ScriptOutline::Span> span = m_outline->spanOf(line);
    if (!span || !span->hasBatch)
        return formats;
    const CutBatch &batch = span->batch;
    qsizetype start = 0;
    qsizetype size = 0;
    if (partInLine(span->exportFrom, span->exportTo, line, length, &start, &size)) {
        QTextCharFormat c;
        c.setForeground(kCommandText);
        c.setBackground(kCommandBack);
        formats.append(range(start, size, c));
    }
    if (partInLine(span->editFrom, span->editTo, line, length, &start, &size)) {
        QTextCharFormat e;
        e.setForeground(kEditText);
        e.setBackground(kEditBack);
        formats.append(range(start, size, e));
    }
    if (batch.protect && batch.dropLine == line) {
        QTextCharFormat d;
        d.setForeground(kWarningColour);
        d.setFontUnderline(true);
        formats.append(range(batch.dropColumn, 4, d));
    }
    return formats;
}

void ScriptEditor::forVisibleLines(int top, int bottom,
                                   const std::function<void(const QTextBlock &, const QRectF &)> &visit)
{
    QTextBlock block = firstVisibleBlock();
    while (block.isValid()) {
        const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
        if (box.top() > bottom)
            break;
        if (block.isVisible() && box.bottom() >= top)
            visit(block, box);
        block = block.next();
    }
}

void ScriptEditor::formatVisibleLines()
{
    const QRect area = viewport()->rect();
    forVisibleLines(area.top(), area.bottom(), [this](const QTextBlock &block, const QRectF &) {
        const QList<QTextLayout::FormatRange> formats = lineFormats(block.blockNumber());
        QTextLayout *layout = block.layout();
        if (layout && layout->formats() != formats) {
            layout->setFormats(formats);
            // The line is laid out again with its new look; the text and
            // its length stay.
            document()->markContentsDirty(block.position(), block.length());
        }
    });
}

void ScriptEditor::paintEvent(QPaintEvent *event)
{
    if (!m_formatting) {
        m_formatting = true;
        formatVisibleLines();
        m_formatting = false;
    }
    QPlainTextEdit::paintEvent(event);

    // A rule under each "go", where a batch ends; a note after the last
    // batch when no "go" ends it.
    QPainter painter(viewport());
    const QRect area = event->rect();
    forVisibleLines(area.top(), area.bottom(), [&](const QTextBlock &block, const QRectF &box) {
        const LineKind kind = sortLine(block.text());
        if (kind == LineKind::BatchEnd) {
            painter.setPen(QPen(kGoRuleColour, 1));
            const int y = int(box.bottom());
            painter.drawLine(0, y, viewport()->width(), y);
            return;
        }
        if (kind != LineKind::Statement)
            return;
        const std::shared_ptr<const ScriptOutline::Span> span = m_outline->spanOf(block.blockNumber());
        const QTextLayout *layout = block.layout();
        if (span && span->hasBatch && span->batch.goLine < 0 && span->batch.last == block.blockNumber() && layout
            && layout->lineCount() > 0) {
            const QTextLine last = layout->lineAt(layout->lineCount() - 1);
            const QRectF at = last.naturalTextRect().translated(box.topLeft());
            QFont note = font();
            note.setItalic(true);
            painter.setFont(note);
            painter.setPen(kCommentColour);
            painter.drawText(QPointF(at.right() + 12, at.top() + last.ascent()),
                             QStringLiteral("◂ no “go” after it: its result stays in the grid"));
        }
    });
}

void ScriptEditor::paintMargin(QPaintEvent *event)
{
    QPainter painter(m_margin);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    // The margin stands beside the viewport, below the same frame.
    const int offset = viewportMargins().top();
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QRect area = event->rect().translated(0, -offset);
    forVisibleLines(area.top(), area.bottom(), [&](const QTextBlock &block, const QRectF &box) {
        const int line = block.blockNumber();
        const std::shared_ptr<const ScriptOutline::Span> span = m_outline->spanOf(line);
        if (!span || !inBatch(*span, line))
            return;
        const QRect bar(2, int(box.top()) + offset, 4, int(box.height()));
        const QColor colour = kindColour(*span);
        if (span->batch.goLine < 0)
            painter.fillRect(bar, QBrush(colour, Qt::Dense4Pattern));
        else
            painter.fillRect(bar, colour);
        if (span->batch.protect) {
            painter.setPen(kWarningColour);
            painter.drawText(QRect(6, bar.top(), kMarginWidth - 6, bar.height()), Qt::AlignCenter,
                             QStringLiteral("!"));
        }
    });
}

void ScriptEditor::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect r = contentsRect();
    m_margin->setGeometry(QRect(r.left(), r.top(), kMarginWidth, r.height()));
}

bool ScriptEditor::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        showToolTip(help->pos(), help->globalPos());
        return true;
    }
    return QPlainTextEdit::viewportEvent(event);
}

void ScriptEditor::showToolTip(const QPoint &viewportPos, const QPoint &globalPos)
{
    const QTextBlock block = cursorForPosition(viewportPos).block();
    const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
    if (!block.isValid() || viewportPos.y() < box.top() || viewportPos.y() > box.bottom()) {
        QToolTip::hideText();
        return;
    }
    const QRect area(QPoint(0, int(box.top())), QSize(viewport()->width(), int(box.height())));
    QToolTip::showText(globalPos, lineToolTip(block.blockNumber()), viewport(), area);
}

QString ScriptEditor::lineToolTip(int line)
{
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid())
        return QString();
    const QString here = QStringLiteral("Line %1").arg(line + 1);
    switch (sortLine(block.text())) {
    case LineKind::Dropped:
        return here + QStringLiteral(" holds “#”: the run skips it entirely.");
    case LineKind::Comment:
        return here + QStringLiteral(" is a comment (an apostrophe first): the run skips it.");
    case LineKind::Empty:
    case LineKind::BatchEnd:
    case LineKind::Statement:
        break;
    }
    const std::shared_ptr<const ScriptOutline::Span> span = m_outline->spanOf(line);
    if (!span || !inBatch(*span, line))
        return here + QStringLiteral(" belongs to no batch.");

    const CutBatch &batch = span->batch;
    const int number = m_outline->batchNumber(*span);
    QStringList text;
    if (batch.isEmpty()) {
        text << QStringLiteral("Batch %1: line %2, a “go” with no statement before it: the run fails here.")
                    .arg(number)
                    .arg(batch.goLine + 1);
        return text.join(u'\n');
    }
    const int end = batch.goLine >= 0 ? batch.goLine : batch.last;
    QString lines = batch.first == end ? QStringLiteral("line %1").arg(batch.first + 1)
                                       : QStringLiteral("lines %1–%2").arg(batch.first + 1).arg(end + 1);
    text << (batch.goLine >= 0 ? QStringLiteral("Batch %1: %2, ended by “go”").arg(number).arg(lines)
                               : QStringLiteral("Batch %1: %2, the last, with no “go” after it").arg(number).arg(lines));
    text << QStringLiteral("Kind: %1").arg(kindText(*span));
    const QString dropAt = QStringLiteral("“drop” in line %1, column %2").arg(batch.dropLine + 1).arg(batch.dropColumn + 1);
    if (batch.protect)
        text << QStringLiteral("Protected: yes, %1 silences its failures").arg(dropAt);
    else if (batch.dropLine >= 0)
        text << QStringLiteral("Protected: no, although %1: a last batch without “go” never is").arg(dropAt);
    else
        text << QStringLiteral("Protected: no, a failure ends the run");
    const ExportClause &clause = span->reading.exportClause;
    if (!clause.fileName.isEmpty())
        text << QStringLiteral("Export: %1").arg(clause.fileName);
    else if (clause.found)
        text << QStringLiteral("Export: “totxt” without a file name, so none");
    else
        text << QStringLiteral("Export: none");

    QStringList parameters;
    QSet<QString> seen;
    if (m_grid) {
        const int rows = rowsInUse();
        for (const int l : batch.lines) {
            const QString statement = document()->findBlockByNumber(l).text();
            for (const ParameterMark &mark : parameterMarks(statement, *m_grid, rows)) {
                const QString name = statement.mid(mark.at, mark.length);
                if (seen.contains(name.toUpper()))
                    continue;
                seen.insert(name.toUpper());
                if (mark.row == 0)
                    parameters << QStringLiteral("%1 (not in the grid: stays in the SQL)").arg(name);
                else if (!mark.filled)
                    parameters << QStringLiteral("%1 (no value: replaced by nothing)").arg(name);
                else
                    parameters << QStringLiteral("%1 = %2").arg(name, m_grid->cell(1, mark.row));
            }
        }
    }
    text << QStringLiteral("Parameters: %1").arg(parameters.isEmpty() ? QStringLiteral("none")
                                                                    : parameters.join(QStringLiteral(", ")));
    return text.join(u'\n');
}

} // namespace rux
