// Times an edit_table batch on the real windows, offscreen: from the click
// on "execute script" (the script is the one batch "edit_table <table>",
// ended by "go") until the table editor's grid has painted its first rows.
// Then the editing is ended by the window's button and the run finishes.
//
//   bench_table_editing DATABASE TABLE
//
// Prints "first_rows_ms=<time> rows=<rows fetched> first=<text of the first
// cell> maxrss_kb=<peak resident size>"; exit status 1 when the grid showed
// no rows (the run failed, say).

#include "datagrid.h"
#include "datasource.h"
#include "program.h"
#include "scriptlines.h"
#include "tftabed.h"
#include "trux_pp1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

// Watches the grid's viewport: the first paint with rows in the model ends
// the measurement once that paint is done.
class FirstRows : public QObject
{
public:
    FirstRows(rux::Tftabed *editor, QElapsedTimer *timer) : m_editor(editor), m_timer(timer) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen && m_editor->isVisible()
            && m_editor->DataSource1->rowCount() > 0) {
            m_seen = true;
            // Runs after the paint event has been handled in full.
            QTimer::singleShot(0, this, [this]() {
                elapsedMs = double(m_timer->nsecsElapsed()) / 1e6;
                rows = m_editor->DataSource1->rowCount();
                first = m_editor->DataSource1->data(m_editor->DataSource1->index(0, 0)).toString();
                m_editor->Button1Click();
            });
        }
        return QObject::eventFilter(watched, event);
    }

    double elapsedMs = -1;
    int rows = 0;
    QString first;

private:
    rux::Tftabed *m_editor;
    QElapsedTimer *m_timer;
    bool m_seen = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_table_editing DATABASE TABLE\n");
        return 2;
    }

    rux::Program &program = rux::Program::instance();
    program.setTitle(QStringLiteral("rux_ppp"));
    program.setHeadless(true);

    rux::Trux_pp1 main;
    rux::Tftabed editor(main.access_con);
    main.setTableEditor(&editor);
    main.setArguments({QStringLiteral("DB=") + args[1]});
    main.show();
    if (!program.guard([&main]() { main.FormActivate(); }))
        return 1;
    main.editorLines().setText(QStringLiteral("edit_table ") + args[2] + QStringLiteral("\r\ngo\r\n"));

    QElapsedTimer timer;
    FirstRows watch(&editor, &timer);
    editor.DBGrid1->viewport()->installEventFilter(&watch);

    QTimer::singleShot(0, &app, [&]() {
        timer.start();
        main.Button6->click();
        // exit, not quit: quit asks the windows to close, and the main
        // window leaves its ending to the program.
        QCoreApplication::exit(0);
    });
    // Against a grid that never shows rows.
    QTimer::singleShot(60000, &app, [&editor]() { editor.Button1Click(); });
    app.exec();

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("first_rows_ms=%.3f rows=%d first=%s maxrss_kb=%ld\n", watch.elapsedMs, watch.rows,
                qPrintable(watch.first), usage.ru_maxrss);
    return watch.elapsedMs >= 0 ? 0 : 1;
}
