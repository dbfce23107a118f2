#pragma once

// Test helpers for the Access-file tests: the shared fixture files, and a
// file's hash to prove it was left untouched.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

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

// The refusal of a change on the Access file opened as `file` (a name that
// ends in ".mdb"): it names the command that converts the file into one
// beside it, the names in single quotes for a POSIX shell.
inline QString readOnlyRefusal(const QString &file)
{
    const auto quoted = [](QString name) {
        return u'\'' + name.replace(QStringLiteral("'"), QStringLiteral("'\\''")) + u'\'';
    };
    QString copy = file;
    copy.replace(copy.size() - 4, 4, QStringLiteral(".db"));
    return QStringLiteral("Cannot update. The Access file '%1' is opened read-only on this platform. "
                          "To change its data, convert it to an SQLite file once and open that: "
                          "rux_ppp --convert-access %2 %3")
        .arg(file, quoted(file), quoted(copy));
}

// Whether this process holds `path` open (Linux: its file descriptors).
inline bool processHoldsOpen(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    }
    return false;
}

} // namespace rux::test
