#pragma once

// Test helpers for the Access-file tests: the shared fixture files, and a
// file's hash to prove it was left untouched.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>

namespace rux::test {

inline QString fixture(const QString &name)
{
    return QDir(QStringLiteral(RUX_SHARED_DIR "/fixtures")).filePath(name);
}

inline QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex();
}

} // namespace rux::test
