#pragma once

// A tmpfs mounted for a test: a small one to fill, or a read-only one. The
// mount is made in a mount namespace of the test process's own, so it is
// invisible elsewhere and goes away with the process however it ends; the
// programs the test starts inherit it. Needs root.

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace rux::test {

inline bool isRoot()
{
    return ::geteuid() == 0;
}

// Mounts a tmpfs on the folder `point` with the mount flags and options
// given. Returns an empty text, or why it could not.
inline QString mountTmpfs(const QString &point, unsigned long flags, const char *options)
{
    const auto failed = [](const char *what) {
        return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    };
    if (!isRoot())
        return QStringLiteral("mounting a file system needs root");
    static bool ownNamespace = false;
    if (!ownNamespace) {
        if (::unshare(CLONE_NEWNS) != 0)
            return failed("unshare(CLONE_NEWNS)");
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return failed("making / private");
        ownNamespace = true;
    }
    if (::mount("tmpfs", QFile::encodeName(point).constData(), "tmpfs", flags, options) != 0)
        return failed("mounting a tmpfs");
    return QString();
}

inline void unmount(const QString &point)
{
    ::umount2(QFile::encodeName(point).constData(), MNT_DETACH);
}

} // namespace rux::test
