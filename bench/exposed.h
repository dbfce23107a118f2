#pragma once

// Shared by the benchmark programs that time the real windows.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>

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

} // namespace bench
