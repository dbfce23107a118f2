// The main window's control of a script run: the keys, the commands that
// are off while a run is in progress, the stop, the input that may act
// during a statement, and what the status says of the last result.

#include "ui/trux_pp1.h"

#include "db/adoquery.h"
#include "db/keepalive.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/filedialogs.h"
#include "ui/program.h"
#include "ui/runview.h"
#include "ui/tftabed.h"
#include "ui/windowpump.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace rux {

void Trux_pp1::makeKeys()
{
    const auto key = [this](const QList<QKeySequence> &keys, void (Trux_pp1::*handler)()) {
        auto *action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, guarded(this, handler));
        return action;
    };
    m_executeKey = key({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return),
                        QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                       &Trux_pp1::Button6Click);
    m_openKey = key({QKeySequence(Qt::CTRL | Qt::Key_O)}, &Trux_pp1::Button2Click);
    key({QKeySequence(Qt::CTRL | Qt::Key_S)}, &Trux_pp1::Button4Click);
    // Esc stops a run; its key is taken only while one is in progress, so
    // that at other times Esc does what it does in the grids.
    m_stopKey = key({}, &Trux_pp1::stopRun);
    Button6->setToolTip(QStringLiteral("execute script (F5 or Ctrl+Enter)"));
    Button2->setToolTip(QStringLiteral("open sql (Ctrl+O)"));
    Button4->setToolTip(QStringLiteral("save script (Ctrl+S)"));
}

void Trux_pp1::setCommandsEnabled(bool enabled)
{
    for (QWidget *command : {Button1, Button2, Button3, Button5, Button6})
        command->setEnabled(enabled);
    m_executeKey->setEnabled(enabled);
    m_openKey->setEnabled(enabled);
    m_stopKey->setShortcut(enabled ? QKeySequence() : QKeySequence(Qt::Key_Escape));
}

std::shared_ptr<void> Trux_pp1::commandsOff()
{
    setCommandsEnabled(false);
    return std::shared_ptr<void>(nullptr, [this](void *) { setCommandsEnabled(true); });
}

void Trux_pp1::showRunFailed()
{
    try {
        throw;
    } catch (const RunStopped &stop) {
        m_runView->end(RunView::Outcome::Stopped, stop.line(), QString());
    } catch (...) {
        // A failure in a batch names it; one before or after the batches
        // (the substitution, the commit) names none.
        m_runView->end(RunView::Outcome::Failure, m_lastBatch.failed.isNull() ? 0 : m_lastBatch.line, QString());
    }
}

Trux_pp1::~Trux_pp1() = default;

QString Trux_pp1::lastResultText()
{
    const auto rows = [](qint64 count) {
        return count == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(count);
    };
    if (Query1->active()) {
        // The result stays for the grid, which reads its first rows now as
        // it would when shown: they tell the result's size, or that it
        // holds more. A run nobody sees leaves them unread.
        if (m_unseen)
            return QString();
        if (DataSource1->rowCount() == 0 && DataSource1->canFetchMore(QModelIndex()))
            DataSource1->fetchMore(QModelIndex());
        const int read = DataSource1->rowCount();
        if (DataSource1->canFetchMore(QModelIndex()))
            return QStringLiteral("The last result has more than %1 (\"result data set\").").arg(rows(read));
        return QStringLiteral("The last result has %1 (\"result data set\").").arg(rows(read));
    }
    if (m_lastBatch.exportRows >= 0)
        return QStringLiteral("The last export wrote %1 to %2.").arg(rows(m_lastBatch.exportRows), m_lastBatch.exportFile);
    if (m_lastBatch.path == QLatin1String("data_change") && m_lastBatch.rows >= 0)
        return QStringLiteral("The last batch changed %1.").arg(rows(m_lastBatch.rows));
    return QString();
}

void Trux_pp1::showRunningBatch()
{
    m_runView->showProgress();
}

void Trux_pp1::stopRun()
{
    if (!runInProgress())
        return;
    // A stop from outside (a signal) may have come first: the table
    // editing still has to end.
    if (m_stop.cause() != StopCause::User) {
        m_runView->stopping();
        // Interrupts the statement that runs now.
        m_stop.request();
    }
    if (m_ftabed && m_ftabed->waitmode) {
        // Not in the middle of a statement of the table editor's own: then
        // once it has ended.
        if (keepalive::pumping())
            WindowPump::instance().defer([this]() { endTableEditing(); });
        else
            endTableEditing();
    }
}

void Trux_pp1::endForSignal(int signalNumber)
{
    Program &program = Program::instance();
    program.setExitStatus(128 + signalNumber);
    // Nobody is to answer a box any more. Bounded: a box that refuses to
    // close must not hold the program here.
    for (int i = 0; i < 16; ++i) {
        QWidget *box = QApplication::activeModalWidget();
        if (!box)
            break;
        box->close();
    }
    stopRun();
    program.requestEnd();
}

void Trux_pp1::endTableEditing()
{
    if (!m_ftabed || !m_ftabed->waitmode)
        return;
    // A changed row still pending in the table editor is written before
    // the wait ends, as the editor's button would write it; a refusal is
    // shown, and the wait ends all the same.
    m_ftabed->DBGrid1->postPending();
    m_ftabed->endWait();
}

bool Trux_pp1::passesDuringStatement(QObject *receiver, QEvent *event) const
{
    if (!runInProgress())
        return false;
    switch (event->type()) {
    case QEvent::Close:
        return receiver == this;
    case QEvent::Shortcut:
        return receiver == m_stopKey;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto *widget = qobject_cast<QWidget *>(receiver);
        return static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && widget && widget->window() == this;
    }
    default:
        return receiver == Button7;
    }
}

void Trux_pp1::keyPressEvent(QKeyEvent *event)
{
    // Esc that no control of the window took stops a run.
    if (event->key() == Qt::Key_Escape && runInProgress()) {
        stopRun();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace rux
