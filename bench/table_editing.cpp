// Times an edit_table batch on the real windows, offscreen: from the click
// on "execute script" (the script is the one batch "edit_table <table>",
// ended by "go") until the table editor's grid has painted its first rows;
// then from a click on the navigator's "last" button until the grid has
// painted the table's last row; then from a drag of the scroll bar's thumb
// to the middle of the table until the grid has painted the rows there.
// Then the editing is ended by the window's button and the run finishes.
//
//   bench_table_editing DATABASE TABLE
//
// Prints "first_rows_ms=<time> rows=<rows fetched> first=<text of the first
// cell> last_ms=<time> last=<text of the last row's first cell>
// drag_ms=<time> drag_top=<place of the top row shown after the drag>
// drag_to=<place dragged to>
// hwm_first_kb=<peak resident size at the first rows>
// hwm_last_kb=<the same after the last row> maxrss_kb=<peak resident size>";
// exit status 1 when the grid showed no rows (the run failed, say).

#include "script/scriptlines.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/dbnavigator.h"
#include "ui/tablescroll.h"
#include "ui/tftabed.h"
#include "ui/trux_pp1.h"

#include "exposed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

// Watches the grid's viewport: the first paint with rows in the model ends
// the first measurement once that paint is done; the click on "last"
// starts the second, which ends with the paint that shows the last row.
class FirstRows : public QObject
{
public:
    FirstRows(rux::Tftabed *editor, QElapsedTimer *timer) : m_editor(editor), m_timer(timer) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        rux::DataSource *source = m_editor->DataSource1;
        if (event->type() == QEvent::Paint && !m_seen && m_editor->isVisible() && source->rowCount() > 0) {
            m_seen = true;
            // Runs after the paint event has been handled in full.
            QTimer::singleShot(0, this, [this, source]() {
                elapsedMs = double(m_timer->nsecsElapsed()) / 1e6;
                rows = source->rowCount();
                first = source->data(source->index(0, 0)).toString();
                hwmFirstKb = bench::peakKb();
                m_last.start();
                m_editor->DBNavigator1->button(QStringLiteral("last"))->click();
                m_clicked = true;
            });
        } else if (event->type() == QEvent::Paint && m_clicked && lastMs < 0
                   && m_editor->DBGrid1->currentIndex().row() == source->rowCount() - 1) {
            QTimer::singleShot(0, this, [this, source]() {
                if (lastMs >= 0)
                    return;
                lastMs = double(m_last.nsecsElapsed()) / 1e6;
                last = source->data(source->index(source->rowCount() - 1, 0)).toString();
                hwmLastKb = bench::peakKb();
                startDrag();
            });
        } else if (event->type() == QEvent::Paint && dragTo >= 0 && dragMs < 0 && topRowAt() == dragTo) {
            QTimer::singleShot(0, this, [this]() {
                if (dragMs >= 0)
                    return;
                dragMs = double(m_drag.nsecsElapsed()) / 1e6;
                dragTop = topRowAt();
                m_editor->DBGrid1->wholeTableScroll()->bar()->setSliderDown(false);
                m_editor->Button1Click();
            });
        }
        return QObject::eventFilter(watched, event);
    }

    double elapsedMs = -1;
    double lastMs = -1;
    double dragMs = -1;
    qint64 dragTo = -1;
    qint64 dragTop = -1;
    int rows = 0;
    QString first;
    QString last;
    long hwmFirstKb = -1;
    long hwmLastKb = -1;

private:
    // The place among all rows of the top row the grid shows.
    qint64 topRowAt() const
    {
        rux::DataGrid *grid = m_editor->DBGrid1;
        return m_editor->DataSource1->firstRowAt() + grid->rowAt(0);
    }
    // The thumb pressed and moved to the middle, as a mouse drag does.
    void startDrag()
    {
        QScrollBar *bar = m_editor->DBGrid1->wholeTableScroll()->bar();
        if (!bar->isVisible()) {
            m_editor->Button1Click();
            return;
        }
        dragTo = bar->maximum() / 2;
        m_drag.start();
        bar->setSliderDown(true);
        bar->setSliderPosition(int(dragTo));
    }

    rux::Tftabed *m_editor;
    QElapsedTimer *m_timer;
    QElapsedTimer m_last;
    QElapsedTimer m_drag;
    bool m_seen = false;
    bool m_clicked = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    if (!bench::twoArguments(args, "bench_table_editing DATABASE TABLE"))
        return 2;

    rux::Trux_pp1 main;
    rux::Tftabed editor(main.access_con);
    main.setTableEditor(&editor);
    if (!bench::openMainWindow(main, args[1]))
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
    std::printf("first_rows_ms=%.3f rows=%d first=%s last_ms=%.3f last=%s drag_ms=%.3f drag_top=%lld "
                "drag_to=%lld hwm_first_kb=%ld hwm_last_kb=%ld maxrss_kb=%ld\n",
                watch.elapsedMs, watch.rows, qPrintable(watch.first), watch.lastMs, qPrintable(watch.last),
                watch.dragMs, static_cast<long long>(watch.dragTop), static_cast<long long>(watch.dragTo),
                watch.hwmFirstKb, watch.hwmLastKb, usage.ru_maxrss);
    return watch.elapsedMs >= 0 && watch.lastMs >= 0 ? 0 : 1;
}
