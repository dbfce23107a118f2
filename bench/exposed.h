#pragma once

// Shared by the benchmark programs that time the real windows.

#include "ui/program.h"
#include "ui/trux_pp1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace bench {

// Shows the window and lets it be exposed and painted for the first time
// before anything is timed.
inline void waitExposed(QWidget &window)
{
    window.show();
    QElapsedTimer waited;
    waited.start();
    while ((!window.windowHandle() || !window.windowHandle()->isExposed()) && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The two arguments of a program that times the main window on a
// database: false (after the usage line on standard error) when they are
// not two.
inline bool twoArguments(const QStringList &args, const char *usage)
{
    if (args.size() == 3)
        return true;
    std::fprintf(stderr, "usage: %s\n", usage);
    return false;
}

// The program set up as without a screen, and the main window opened on
// DB=<database>: shown, its start-up procedure run. False when that failed
// (the failure is on standard error).
inline bool openMainWindow(rux::Trux_pp1 &main, const QString &database)
{
    rux::Program &program = rux::Program::instance();
    program.setTitle(QStringLiteral("rux_ppp"));
    program.setHeadless(true);
    main.setArguments({QStringLiteral("DB=") + database});
    main.show();
    return program.guard([&main]() { main.FormActivate(); });
}

// The process's peak resident size so far (VmHWM), in kB; -1 when it
// cannot be read.
inline long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace bench
