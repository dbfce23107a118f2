#pragma once

// Test helpers: whole files read and written in one call.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace rux::test {

// The file's bytes; "<unreadable>" when it cannot be read (a missing file).
inline QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArrayLiteral("<unreadable>");
}

// Replaces the file's content with `bytes`, making its folder first. False
// when that fails.
inline bool writeBytes(const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(name).absolutePath());
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The same for a file the test cannot do without: a failure ends the test
// program. Returns `name`.
inline QString makeFile(const QString &name, const QByteArray &bytes)
{
    if (!writeBytes(name, bytes))
        qFatal("cannot write %s", qPrintable(name));
    return name;
}

} // namespace rux::test
