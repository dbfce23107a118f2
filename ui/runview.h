#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace rux {

class EditorLines;
struct BatchRecord;

// What the main window shows of a script run. While it runs: a busy cursor
// over the window (the editor, where the user may type between batches,
// and the stop button keep theirs), the stop button, the lines of the
// running batch marked in the editor, and a status text with the time
// since the start and the batch's first line, updated every second. When
// it has ended: how it ended, how many batches ran through, how long it took and,
// after a success, what the last result holds; after a failure in a batch,
// that batch stays marked in the failure colour, the editor shows it and
// its cursor stands on its first line, until the next edit or run.
class RunView : public QObject
{
    Q_OBJECT
public:
    RunView(QWidget *window, QPlainTextEdit *editor, EditorLines *lines, QLabel *status, QPushButton *stop);

    enum class Outcome { Success, Failure, Stopped };

    void begin();
    // The lines (from 0) of the batch that runs now; -1, -1 when it ended.
    void batchRuns(int first, int last);
    void batchEnded(const BatchRecord &record);
    // The stop was asked for; the run ends at its next step.
    void stopping();
    // `line`: where a failure or stop happened (script line from 1; 0 where
    // no batch ran); `result`: what the last result holds, a sentence.
    void end(Outcome outcome, int line, const QString &result);

    // Marks the running batch, and shows the time that passed; called
    // whenever the windows are kept alive during a long statement.
    void showProgress();

    QString statusText() const { return m_status; }

private:
    void markLines(int first, int last, const QColor &colour);
    void clearMarks();
    void setStatus(const QString &text);
    void showElapsed();

    QWidget *m_window;
    QPlainTextEdit *m_editor;
    EditorLines *m_lines;
    QLabel *m_label;
    QPushButton *m_stop;
    QElapsedTimer m_clock;
    QTimer m_ticker;
    QString m_status;
    int m_batchFirst = -1;
    int m_batchLast = -1;
    int m_failedFirst = -1;
    int m_failedLast = -1;
    // Batches that ran through (their failure silenced or none).
    int m_batches = 0;
    bool m_batchBegun = false;
    qint64 m_shownSecond = -1;
    bool m_batchShown = false;
    bool m_failureShown = false;
    bool m_stopping = false;
};

} // namespace rux
