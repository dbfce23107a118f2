#pragma once

// Test helper: what a piece of code writes to standard error (the failure
// display writes there when no screen is attached).

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace rux::test {

inline QByteArray stderrOf(const std::function<void()> &f)
{
    QTemporaryFile file;
    if (!file.open())
        return "<no temporary file>";
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(file.handle(), 2);
    f();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    QFile read(file.fileName());
    if (!read.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return read.readAll();
}

} // namespace rux::test
