#pragma once

// Test helper: what a folder holds, to prove that a run changed nothing it
// was not asked to change.

#include "tests/support/testfiles.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace rux::test {

inline mode_t modeOf(const QString &name)
{
    struct stat st;
    if (::lstat(QFile::encodeName(name).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

// Every entry under `root` by its relative name: a file's bytes, a folder's
// marker, the mode of both.
using Snapshot = QMap<QString, QByteArray>;

inline Snapshot snapshot(const QString &root)
{
    Snapshot s;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QByteArray mode = QByteArray::number(modeOf(path), 8);
        s.insert(base.relativeFilePath(path),
                 info.isDir() ? QByteArrayLiteral("<folder ") + mode + '>'
                              : QByteArrayLiteral("<mode ") + mode + "> " + fileBytes(path));
    }
    return s;
}

// Lets the owner remove everything again (cases take rights away).
inline void restoreRights(const QString &root)
{
    QDirIterator it(root, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    ::chmod(QFile::encodeName(root).constData(), 0700);
    while (it.hasNext()) {
        const QString path = it.next();
        ::chmod(QFile::encodeName(path).constData(), QFileInfo(path).isDir() ? 0700 : 0600);
    }
}

inline void chownTree(const QString &root, uid_t uid)
{
    ::chown(QFile::encodeName(root).constData(), uid, uid);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (::lchown(QFile::encodeName(path).constData(), uid, uid) != 0)
            qWarning("cannot hand %s over", qPrintable(path));
    }
}

} // namespace rux::test
