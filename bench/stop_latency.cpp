// Times how fast a stop of a running script takes effect, on the real
// windows offscreen, kept alive during a statement by the window pump as on
// a screen. The windows start as the program starts them; the run is
// started by the "execute script" handler from the event loop. A while
// after its start, Esc is posted to the script editor from another thread,
// as a user's key comes in whenever the user presses it (it waits in the
// queue until the program next processes events). The clock runs from that
// post until the handler has ended and the program waits for input again.
//
//   bench_stop_latency sqlite DATABASE | postgres URI | substitution DATABASE
//                      [AFTER_MS]
//
//   sqlite        one batch that counts 40,000,000 rows of a recursive query
//   postgres      one batch "select pg_sleep(30)" on the server of URI
//   substitution  100,000 comment lines, each with two parameter names,
//                 then one batch, with two parameter rows in the grid: the
//                 stop comes while the parameters are written in
//
// AFTER_MS: how long the run lasts before the stop (default 1000; 150 for
// the substitution, which lasts well under a second).
//
// Prints "stop_ms=<post of Esc to the handler's end> delivered_ms=<post to
// the key reaching the window> idle_ms=<post until the event loop waits
// again> run_ms=<the whole run> failure=<the text of the failure the run
// ended with, blanks and all>"; a time that never came is -1. Exit status 1
// when the run did not end as stopped by the user.

#include "app/programwindows.h"
#include "base/failure.h"
#include "script/scriptlines.h"
#include "ui/program.h"
#include "ui/stringgrid.h"
#include "ui/trux_pp1.h"

#include "exposed.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Notes when the posted Esc is taken from the queue and reaches the window:
// a key press that does not come from the window system goes to the
// window's shortcuts first (Esc is the stop key during a run), then to the
// editor.
class KeyWatch : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        const bool esc = (type == QEvent::ShortcutOverride || type == QEvent::KeyPress)
            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
        if ((esc || type == QEvent::Shortcut) && delivered == Clock::time_point())
            delivered = Clock::now();
        return QObject::eventFilter(watched, event);
    }

    Clock::time_point delivered;
};

// The user's hand: once armed, waits until `afterMs` have passed and posts
// Esc (press and release) to the editor, unless the run has ended first.
// The events are made in the windows' thread (an input event there looks
// up the keyboard device, which belongs to the application); the hand
// only posts them.
class StopKey
{
public:
    StopKey(QObject *editor, int afterMs) : m_editor(editor), m_afterMs(afterMs) {}
    ~StopKey() { finish(); }

    void arm(Clock::time_point started)
    {
        m_press = new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        m_release = new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        m_thread = std::thread([this, started]() {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_ended.wait_until(lock, started + std::chrono::milliseconds(m_afterMs), [this]() { return m_over; }))
                return;
            m_posted = Clock::now();
            // The queue owns the events from here on.
            QCoreApplication::postEvent(m_editor, std::exchange(m_press, nullptr));
            QCoreApplication::postEvent(m_editor, std::exchange(m_release, nullptr));
        });
    }
    // The run has ended: a key not yet posted never is.
    void finish()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_over = true;
        }
        m_ended.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        delete std::exchange(m_press, nullptr);
        delete std::exchange(m_release, nullptr);
    }
    // After finish().
    bool sent() const { return m_posted != Clock::time_point(); }
    Clock::time_point posted() const { return m_posted; }

private:
    QObject *m_editor;
    int m_afterMs;
    QKeyEvent *m_press = nullptr;
    QKeyEvent *m_release = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_over = false;
    Clock::time_point m_posted;
};


} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    const bool substitution = mode == QLatin1String("substitution");
    bool afterOk = true;
    const int afterMs = args.size() > 3 ? args[3].toInt(&afterOk) : substitution ? 150 : 1000;
    if (args.size() < 3 || args.size() > 4 || !afterOk || afterMs < 0
        || (mode != QLatin1String("sqlite") && mode != QLatin1String("postgres") && !substitution)) {
        std::fprintf(stderr, "usage: bench_stop_latency sqlite DATABASE | postgres URI | substitution DATABASE "
                             "[AFTER_MS]\n");
        return 2;
    }

    rux::Program &program = rux::Program::instance();
    program.setTitle(QStringLiteral("rux_ppp"));
    // A failure is written to standard error instead of a box that waits.
    program.setHeadless(true);

    // The windows as the program makes them on a screen: the pump keeps
    // them alive during a statement and lets only the stop controls act.
    // The main window shows and runs its start-up (the activation handler)
    // before anything else, as in the program; otherwise its activation
    // would run the start-up in the middle of the run.
    rux::ProgramWindows windows = rux::createWindows(QStringList(), rux::KeepAlive::WindowPump);
    rux::Trux_pp1 *main = windows.main.get();
    main->show();
    main->activateWindow();
    windows.record->focusEntered(main);
    if (program.exitStatus() != 0)
        return 1;
    main->db_f_name = args[2];
    if (!program.guard([main]() { main->set_database(); }))
        return 1;

    QString script;
    if (mode == QLatin1String("sqlite")) {
        script = QStringLiteral("select count(*) from (with recursive c(i) as (select 1 union all "
                                "select i + 1 from c where i < 40000000) select i from c)\r\ngo\r\n");
    } else if (mode == QLatin1String("postgres")) {
        script = QStringLiteral("select pg_sleep(30)\r\ngo\r\n");
    } else {
        script.reserve(100000 * 13 + 20);
        for (int i = 0; i < 100000; ++i)
            script += QStringLiteral("' $a and $b\r\n");
        script += QStringLiteral("select 1\r\ngo\r\n");
        main->StringGrid1->setCell(0, 1, QStringLiteral("$a"));
        main->StringGrid1->setCell(1, 1, QStringLiteral("1"));
        main->StringGrid1->setCell(0, 2, QStringLiteral("$b"));
        main->StringGrid1->setCell(1, 2, QStringLiteral("2"));
        main->var_count = 2;
    }
    main->editorLines().setText(script);
    bench::waitExposed(*main);

    KeyWatch keys;
    app.installEventFilter(&keys);
    StopKey stop(main->Memo1, afterMs);

    Clock::time_point started;
    Clock::time_point ended;
    Clock::time_point idle;
    QString failure;
    QTimer::singleShot(0, &app, [&]() {
        started = Clock::now();
        stop.arm(started);
        // What the click on "execute script" runs.
        program.guard([&]() {
            try {
                main->Button6Click();
            } catch (const rux::Failure &f) {
                failure = f.text();
                throw;
            }
        });
        ended = Clock::now();
        stop.finish();
        // The end of the events that the run's end left pending (the
        // repaint of the editor and the status, say): the loop waits.
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &app, [&]() {
            if (idle != Clock::time_point())
                return;
            idle = Clock::now();
            // exit, not quit: quit asks the windows to close, and the main
            // window leaves its ending to the program.
            QCoreApplication::exit(0);
        });
    });
    app.exec();
    app.removeEventFilter(&keys);

    const bool sent = stop.sent();
    const Clock::time_point posted = stop.posted();
    const bool stopped = sent && failure.startsWith(QLatin1String("Stopped by the user"));
    std::printf("stop_ms=%.3f delivered_ms=%.3f idle_ms=%.3f run_ms=%.0f failure=%s\n",
                sent ? msBetween(posted, ended) : -1.0,
                sent && keys.delivered != Clock::time_point() ? msBetween(posted, keys.delivered) : -1.0,
                sent ? msBetween(posted, idle) : -1.0, msBetween(started, ended), qPrintable(failure));
    return stopped ? 0 : 1;
}
