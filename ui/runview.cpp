#include "ui/runview.h"

#include "exec/runlog.h"
#include "ui/editorlines.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

namespace rux {

namespace {

// The marks of the running and of the failed batch.
const QColor kRunningColour(0xf2, 0xe3, 0xa6);
const QColor kFailedColour(0xf4, 0xb8, 0xb0);

// "0:07", "12:30": the time since the run began, as a clock shows it.
QString clockText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// "2.4 s", "1 min 05 s": how long a run took.
QString durationText(qint64 ms)
{
    if (ms < 60000)
        return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    const qint64 seconds = (ms + 500) / 1000;
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString batchesText(int count)
{
    return count == 1 ? QStringLiteral("1 batch") : QStringLiteral("%1 batches").arg(count);
}

} // namespace

RunView::RunView(QWidget *window, QPlainTextEdit *editor, EditorLines *lines, QLabel *status, QPushButton *stop)
    : QObject(window), m_window(window), m_editor(editor), m_lines(lines), m_label(status), m_stop(stop)
{
    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, [this]() { showElapsed(); });
    // The stop button and the editor, where the user may act during a
    // run, keep their own cursors under the busy one.
    m_stop->setCursor(Qt::ArrowCursor);
    m_editor->viewport()->setCursor(Qt::IBeamCursor);
    m_stop->hide();
    // The next edit takes the failure mark away.
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this]() {
        if (m_failureShown)
            clearMarks();
    });
}

void RunView::begin()
{
    m_clock.start();
    m_batches = 0;
    m_batchBegun = false;
    m_batchFirst = m_batchLast = -1;
    m_failedFirst = m_failedLast = -1;
    m_stopping = false;
    clearMarks();
    m_window->setCursor(Qt::BusyCursor);
    m_stop->setEnabled(true);
    m_stop->show();
    m_shownSecond = -1;
    showElapsed();
    m_ticker.start();
}

void RunView::batchRuns(int first, int last)
{
    if (first >= 0) {
        m_batchBegun = true;
        m_batchFirst = first;
        m_batchLast = last;
        return;
    }
    m_batchFirst = m_batchLast = -1;
    if (m_batchShown)
        clearMarks();
}

void RunView::batchEnded(const BatchRecord &record)
{
    if (record.failed.isNull()) {
        ++m_batches;
    } else {
        m_failedFirst = m_batchFirst;
        m_failedLast = m_batchLast;
    }
}

void RunView::stopping()
{
    m_stopping = true;
    m_stop->setEnabled(false);
    setStatus(m_clock.isValid() ? QStringLiteral("%1 · stopping …").arg(clockText(m_clock.elapsed()))
                                : QStringLiteral("stopping …"));
}

void RunView::end(Outcome outcome, int line, const QString &result)
{
    m_ticker.stop();
    m_window->unsetCursor();
    m_stop->hide();
    clearMarks();
    const QString ran = QStringLiteral("%1 in %2.").arg(batchesText(m_batches), durationText(m_clock.elapsed()));
    // A wait on the database after the run (a grid reading rows) keeps the
    // windows alive too: it shows no run clock.
    m_clock.invalidate();
    const QString where = line > 0 ? QStringLiteral(" at line %1").arg(line) : QString();
    switch (outcome) {
    case Outcome::Success:
        setStatus(QStringLiteral("Done: ") + ran + (result.isEmpty() ? QString() : u' ' + result));
        break;
    case Outcome::Failure:
        setStatus(QStringLiteral("Failed%1 after ").arg(where) + ran);
        break;
    case Outcome::Stopped:
        setStatus(QStringLiteral("Stopped%1 after ").arg(where) + ran);
        break;
    }
    if (outcome == Outcome::Success || m_failedFirst < 0 || m_lines->viewLeftBehind())
        return;
    markLines(m_failedFirst, m_failedLast, kFailedColour);
    m_failureShown = true;
    // The editor shows the batch, its cursor on the batch's first line.
    const QTextBlock first = m_editor->document()->findBlockByNumber(m_failedFirst);
    if (first.isValid()) {
        m_editor->setTextCursor(QTextCursor(first));
        m_editor->centerCursor();
    }
}

void RunView::showProgress()
{
    if (m_batchFirst >= 0 && !m_batchShown && !m_lines->viewLeftBehind()) {
        markLines(m_batchFirst, m_batchLast, kRunningColour);
        m_batchShown = true;
    }
    showElapsed();
}

void RunView::showElapsed()
{
    if (!m_clock.isValid() || m_stopping)
        return;
    const qint64 ms = m_clock.elapsed();
    const qint64 second = ms / 1000;
    if (second == m_shownSecond && m_batchFirst < 0)
        return;
    m_shownSecond = second;
    QString text = clockText(ms);
    if (m_batchFirst >= 0)
        text += QStringLiteral(" · line %1: %2").arg(m_batchFirst + 1).arg(m_lines->line(m_batchFirst).trimmed());
    else if (!m_batchBegun)
        text += QStringLiteral(" · writing the parameters into the script");
    setStatus(text);
}

void RunView::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    const QString shown = m_label->fontMetrics().elidedText(text, Qt::ElideRight, m_label->width());
    m_label->setText(shown);
    m_label->setToolTip(shown == text ? QString() : text);
}

void RunView::markLines(int first, int last, const QColor &colour)
{
    QTextDocument *document = m_editor->document();
    const QTextBlock firstBlock = document->findBlockByNumber(first);
    const QTextBlock lastBlock = document->findBlockByNumber(last);
    if (!firstBlock.isValid() || !lastBlock.isValid())
        return;
    // Full-width lines: the marked span takes in the line break after the
    // batch's last line; a last line without one (the end of the text)
    // gets a line mark of its own.
    QTextCharFormat mark;
    mark.setBackground(colour);
    mark.setProperty(QTextFormat::FullWidthSelection, true);
    const int end = lastBlock.position() + lastBlock.length();
    const int lastPosition = document->characterCount() - 1;
    QList<QTextEdit::ExtraSelection> marks;
    QTextEdit::ExtraSelection span;
    span.cursor = QTextCursor(document);
    span.cursor.setPosition(firstBlock.position());
    span.cursor.setPosition(qMin(end, lastPosition), QTextCursor::KeepAnchor);
    span.format = mark;
    marks.append(span);
    if (end > lastPosition) {
        QTextEdit::ExtraSelection line;
        line.cursor = QTextCursor(lastBlock);
        line.format = mark;
        marks.append(line);
    }
    m_editor->setExtraSelections(marks);
}

void RunView::clearMarks()
{
    if (m_batchShown || m_failureShown)
        m_editor->setExtraSelections({});
    m_batchShown = false;
    m_failureShown = false;
}

} // namespace rux
