// Times loading a script into a window on a screen, until the editor has
// painted it: "rux" loads it into the main window as "open sql" does, "bare"
// reads the same file into a bare QPlainTextEdit of the editor's size and
// wrapping, in a window of its own. Both windows are shown and painted
// before the clock starts.
//
//   bench_window_load rux|bare|type SCRIPT
//
// Prints "load_ms=<time> lines=<lines the editor holds> maxrss_kb=<peak
// resident size>"; exit status 1 when the load failed.
//
// "type" loads the script into the main window as "rux" does, puts the
// cursor into the middle line and types 40 keys there one by one, each
// timed from the key press until the editor has painted it; it prints
// "key_ms_median=<time> key_ms_max=<time>" as well.

#include "ui/program.h"
#include "ui/style.h"
#include "ui/trux_pp1.h"

#include "exposed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTextBlock>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <sys/resource.h>

namespace {

// Stops the clock once the editor's viewport has painted after the load.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QElapsedTimer *timer) : m_timer(timer) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (armed && event->type() == QEvent::Paint && elapsedMs < 0) {
            armed = false;
            // Runs after the paint event has been handled in full.
            QTimer::singleShot(0, this, [this]() {
                elapsedMs = double(m_timer->nsecsElapsed()) / 1e6;
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

    bool armed = false;
    double elapsedMs = -1;

private:
    QElapsedTimer *m_timer;
};


// Lets the window finish what it has to paint.
void settle()
{
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    if (args.size() != 3
        || (args[1] != QLatin1String("rux") && args[1] != QLatin1String("bare") && args[1] != QLatin1String("type"))) {
        std::fprintf(stderr, "usage: bench_window_load rux|bare|type SCRIPT\n");
        return 2;
    }
    const bool typing = args[1] == QLatin1String("type");
    const bool rux = typing || args[1] == QLatin1String("rux");
    const QString script = args[2];

    // The program's font in both windows.
    QApplication::setFont(rux::programFont());

    QElapsedTimer timer;
    PaintWatch watch(&timer);
    int lines = -1;

    std::unique_ptr<rux::Trux_pp1> main;
    std::unique_ptr<QPlainTextEdit> bare;
    std::function<void()> load;
    if (rux) {
        rux::Program::instance().setTitle(QStringLiteral("rux_ppp"));
        Q_INIT_RESOURCE(slateclassico);
        rux::applyStyle(app, rux::styleResource());
        main = std::make_unique<rux::Trux_pp1>();
        bench::waitExposed(*main);
        main->Memo1->viewport()->installEventFilter(&watch);
        load = [&]() {
            main->sql_f_name = script;
            if (!rux::Program::instance().guard([&]() { main->set_sqlscript(); }))
                QCoreApplication::exit(1);
            lines = main->editorLines().lineCount();
        };
    } else {
        bare = std::make_unique<QPlainTextEdit>();
        bare->resize(755, 194);
        bare->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        bare->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        bare->setUndoRedoEnabled(false);
        bench::waitExposed(*bare);
        bare->viewport()->installEventFilter(&watch);
        load = [&]() {
            QFile file(script);
            if (!file.open(QIODevice::ReadOnly)) {
                QCoreApplication::exit(1);
                return;
            }
            bare->setPlainText(QString::fromLatin1(file.readAll()));
            lines = bare->document()->blockCount();
        };
    }

    QTimer::singleShot(0, &app, [&]() {
        timer.start();
        watch.armed = true;
        load();
    });
    QTimer::singleShot(60000, &app, []() { QCoreApplication::exit(1); });
    const int status = app.exec();

    const double loadMs = watch.elapsedMs;
    std::vector<double> keys;
    if (typing && status == 0) {
        rux::ScriptEditor *editor = main->Memo1;
        QTextCursor cursor(editor->document()->findBlockByNumber(editor->document()->blockCount() / 2));
        cursor.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(cursor);
        editor->centerCursor();
        settle();
        for (int k = 0; k < 40; ++k) {
            watch.elapsedMs = -1;
            watch.armed = true;
            timer.start();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QCoreApplication::sendEvent(editor, &press);
            QCoreApplication::sendEvent(editor, &release);
            QTimer::singleShot(2000, &app, []() { QCoreApplication::exit(1); });
            if (app.exec() != 0 || watch.elapsedMs < 0)
                return 1;
            keys.push_back(watch.elapsedMs);
            settle();
        }
        // The keys went into the line.
        if (!cursor.block().text().endsWith(QString(40, u'x')))
            return 1;
        std::sort(keys.begin(), keys.end());
    }

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("load_ms=%.3f lines=%d maxrss_kb=%ld", loadMs, lines, usage.ru_maxrss);
    if (!keys.empty())
        std::printf(" key_ms_median=%.3f key_ms_max=%.3f", keys[keys.size() / 2], keys.back());
    std::printf("\n");
    return status == 0 && loadMs >= 0 ? 0 : 1;
}
