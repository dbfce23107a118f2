#include "app/programwindows.h"

#include "ui/program.h"
#include "ui/tftabed.h"
#include "ui/trux_pp1.h"
#include "ui/windowpump.h"

namespace rux {

ProgramWindows::ProgramWindows() = default;
ProgramWindows::ProgramWindows(ProgramWindows &&) noexcept = default;
ProgramWindows &ProgramWindows::operator=(ProgramWindows &&) noexcept = default;

ProgramWindows::~ProgramWindows()
{
    destroy();
}

void ProgramWindows::destroy()
{
    record.reset();
    ftabed.reset();
    main.reset();
}

void keepWindowsAlive(ProgramWindows &windows)
{
    Trux_pp1 *main = windows.main.get();
    WindowPump::instance().setBeforePump([main]() { main->showRunningBatch(); });
    WindowPump::instance().setPassing(
        [main](QObject *receiver, QEvent *event) { return main->passesDuringStatement(receiver, event); });
    WindowPump::instance().install();
}

ProgramWindows createWindows(const QStringList &arguments, KeepAlive keepAlive)
{
    ProgramWindows w;
    w.main = std::make_unique<Trux_pp1>();
    w.ftabed = std::make_unique<Tftabed>(w.main->access_con);
    w.main->setTableEditor(w.ftabed.get());
    w.main->setArguments(arguments);

    Trux_pp1 *main = w.main.get();
    if (keepAlive == KeepAlive::WindowPump)
        keepWindowsAlive(w);

    w.record = std::make_unique<ActivationRecord>(main, w.ftabed.get(), [main]() { main->FormActivate(); });
    ActivationRecord *record = w.record.get();
    w.ftabed->setFocusReturn([main, record]() {
        main->raise();
        main->activateWindow();
        record->focusEntered(main);
    });
    return w;
}

} // namespace rux
