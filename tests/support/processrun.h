#pragma once

// Test helper: a program run as a process, the built rux_ppp above all,
// with its arguments, environment and working folder, under a time bound;
// what it wrote to standard output and standard error and how it ended.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace rux::test {

// The program the build made (rux_ppp).
inline QString programBinary()
{
    return QStringLiteral(RUX_BINARY);
}

// The test's environment without a screen: no display named, Qt's
// offscreen platform chosen.
inline QProcessEnvironment screenlessEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

struct ProcessRun
{
    QString program = programBinary();
    QStringList arguments;
    // Empty: the test's own.
    QString workingDirectory;
    QProcessEnvironment environment = screenlessEnvironment();
    // Written to the program's standard input, which is then closed.
    QByteArray input;
    // For the start, and again for the end; a program that has not ended
    // by then is killed.
    int timeoutMs = 30000;
    // Runs in the started process before the program does (umask, user).
    std::function<void()> childSetup;
    // Runs once the program has started, before the wait for its end.
    std::function<void(QProcess &)> whileRunning;
};

struct ProcessOutcome
{
    bool started = false;
    bool finished = false;
    // Ended by a signal (killed, crashed).
    bool crashed = false;
    // -1 when it did not end normally.
    int exitCode = -1;
    qint64 elapsedMs = 0;
    QByteArray outBytes;
    QByteArray errBytes;
    // The same as text in the local encoding.
    QString out;
    QString err;
};

ProcessOutcome runProcess(const ProcessRun &run);

} // namespace rux::test
