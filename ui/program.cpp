#include "ui/program.h"

#include "db/keepalive.h"
#include "exec/failuretext.h"
#include "exec/runstop.h"
#include "base/failure.h"
#include "ui/boxes.h"
#include "ui/windowpump.h"

#include <QApplication>

#include <cstdio>

namespace rux {

Program &Program::instance()
{
    static Program program;
    return program;
}

void Program::showFailure(const QString &text) const
{
    showError(failureDisplayText(text));
}

void Program::writeErrorLine(const QString &shown) const
{
    QString line = m_title + QStringLiteral(": ") + shown;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void Program::showError(const QString &shown) const
{
    if (m_headless) {
        writeErrorLine(shown);
        return;
    }
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    // The text can be marked and copied: a file name, a server's message,
    // or the command a refusal names.
    showBox(QMessageBox::Critical, m_title, shown, {QStringLiteral("OK")}, QApplication::activeWindow());
}

bool Program::guard(const std::function<void()> &handler)
{
    bool ok = true;
    ++m_depth;
    try {
        handler();
    } catch (const RunStopped &stopped) {
        ok = false;
        if (stopped.cause() == StopCause::Signal) {
            // A signal ends the program: one line says why, and no box
            // waits for an answer.
            writeErrorLine(failureDisplayText(stopped.text()));
            m_exitStatus = stopped.exitStatus();
            m_endRequested = true;
        } else if (!m_endRequested) {
            // Closing the window stopped the run: the program ends without
            // a box that would wait for an answer.
            showFailure(stopped.text());
        }
    } catch (const Failure &failure) {
        ok = false;
        showFailure(failure.text());
    } catch (const std::exception &failure) {
        ok = false;
        showFailure(QString::fromLocal8Bit(failure.what()));
    }
    --m_depth;
    endIfIdle();
    return ok;
}

void Program::requestEnd()
{
    m_endRequested = true;
    endIfIdle();
}

void Program::endIfIdle()
{
    if (m_endRequested && m_depth == 0 && m_loopRunning)
        QCoreApplication::exit(m_exitStatus);
}

ActivationRecord::ActivationRecord(QWidget *mainWindow, QWidget *editorWindow,
                                   std::function<void()> formActivate, QObject *parent)
    : QObject(parent), m_main(mainWindow), m_editor(editorWindow),
      m_formActivate(std::move(formActivate))
{
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now)
            focusEntered(now->window());
    });
}

void ActivationRecord::focusEntered(QWidget *window)
{
    if (!window)
        return;
    // Focus that moves while a statement keeps the windows alive counts
    // once the statement has ended: the activation handler must not run
    // in the middle of it.
    if (keepalive::pumping()) {
        QPointer<QWidget> entered(window);
        QPointer<ActivationRecord> self(this);
        WindowPump::instance().defer([self, entered]() {
            if (self && entered)
                self->focusEntered(entered);
        });
        return;
    }
    if (window == m_editor) {
        m_record = m_editor;
    } else if (window == m_main && m_record != m_main) {
        m_record = m_main;
        Program::instance().guard(m_formActivate);
    }
}

} // namespace rux
