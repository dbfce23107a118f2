#pragma once

// Test helper: what the code under test writes to standard error (the
// failure display writes there when no screen is attached).

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace rux::test {

// Sends standard error into a file for its lifetime, so that what was
// written there can be read back.
class StderrCapture
{
public:
    StderrCapture()
    {
        if (!m_file.open())
            qFatal("no temporary file to capture standard error in");
        std::fflush(stderr);
        m_saved = ::dup(2);
        ::dup2(m_file.handle(), 2);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    // What was written so far.
    QByteArray bytes()
    {
        std::fflush(stderr);
        QFile f(m_file.fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString text() { return QString::fromLocal8Bit(bytes()); }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

// What `f` writes to standard error.
inline QByteArray stderrOf(const std::function<void()> &f)
{
    StderrCapture capture;
    f();
    return capture.bytes();
}

} // namespace rux::test
