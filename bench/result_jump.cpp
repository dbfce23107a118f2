// Times Ctrl+End in the main window's result grid, offscreen: the script is
// one statement without "go", whose result stays in the grid; once the run
// has ended and the grid, on the tab "result data set", painted its first
// rows, Ctrl+End is sent to the grid, and the time runs until the grid has painted the result's last row
// with the cursor on it.
//
//   bench_result_jump DATABASE STATEMENT
//
// Prints "last_ms=<time> rows=<rows held by the grid> last=<text of the last
// row's first cell> hwm_first_kb=<peak resident size at the first rows>
// hwm_last_kb=<the same after the last row>"; exit status 1 when the grid
// showed no rows or never reached the last one.

#include "script/scriptlines.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/trux_pp1.h"

#include "exposed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

namespace {

class LastRow : public QObject
{
public:
    explicit LastRow(rux::Trux_pp1 *main) : m_main(main) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        rux::DataSource *source = m_main->DataSource1;
        rux::DataGrid *grid = m_main->DBGrid1;
        if (event->type() == QEvent::Paint && !m_sent && m_main->Button6->isEnabled() && source->rowCount() > 0) {
            m_sent = true;
            QTimer::singleShot(0, this, [this, grid]() {
                hwmFirstKb = bench::peakKb();
                grid->setFocus();
                m_timer.start();
                QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
                QCoreApplication::sendEvent(grid, &press);
                grid->viewport()->update();
            });
        } else if (event->type() == QEvent::Paint && m_sent && lastMs < 0 && source->rowCount() > 0
                   && grid->currentIndex().row() == source->rowCount() - 1) {
            QTimer::singleShot(0, this, [this, source]() {
                if (lastMs >= 0)
                    return;
                lastMs = double(m_timer.nsecsElapsed()) / 1e6;
                rows = source->rowCount();
                last = source->data(source->index(source->rowCount() - 1, 0)).toString();
                hwmLastKb = bench::peakKb();
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

    double lastMs = -1;
    int rows = 0;
    QString last;
    long hwmFirstKb = -1;
    long hwmLastKb = -1;

private:
    rux::Trux_pp1 *m_main;
    QElapsedTimer m_timer;
    bool m_sent = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    if (!bench::twoArguments(args, "bench_result_jump DATABASE STATEMENT"))
        return 2;
    rux::Trux_pp1 main;
    main.resize(800, 600);
    if (!bench::openMainWindow(main, args[1]))
        return 1;
    main.editorLines().setText(args[2] + QStringLiteral("\r\n"));

    LastRow watch(&main);
    main.DBGrid1->viewport()->installEventFilter(&watch);
    QTimer::singleShot(0, &app, [&]() {
        main.Button6->click();
        // The result's tab, as a user opens it to see the rows.
        main.PageControl1->setCurrentWidget(main.TabSheet1);
    });
    QTimer::singleShot(120000, &app, []() { QCoreApplication::exit(1); });
    app.exec();

    std::printf("last_ms=%.3f rows=%d last=%s hwm_first_kb=%ld hwm_last_kb=%ld\n", watch.lastMs, watch.rows,
                qPrintable(watch.last), watch.hwmFirstKb, watch.hwmLastKb);
    return watch.lastMs >= 0 ? 0 : 1;
}
