#include "db/access/accessconvert.h"

#include "db/access/accessreader.h"
#include "db/access/removedonsignal.h"

#include "db/databasefile.h"
#include "base/failure.h"
#include "base/systemio.h"
#include "base/ownedfiles.h"
#include "base/uniquefile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

namespace {

QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QStringLiteral("'"), QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

QString convertedFileName(const QString &accessFile)
{
    for (const QLatin1String suffix : {QLatin1String(".mdb"), QLatin1String(".accdb")}) {
        if (accessFile.endsWith(suffix, Qt::CaseInsensitive))
            return accessFile.left(accessFile.size() - suffix.size()) + QStringLiteral(".db");
    }
    return accessFile + QStringLiteral(".db");
}

QString convertCommand(const QString &accessFile)
{
    return QStringLiteral("rux_ppp --convert-access %1 %2")
        .arg(shellQuoted(accessFile), shellQuoted(convertedFileName(accessFile)));
}

namespace {

// Gives `from` the name `to` unless `to` exists; 0 or the errno.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without that rename: a second link fails just the same
    // on an existing name.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

// Writes a file's or a folder's pending bytes to the disk; 0 or the errno.
int syncToDisk(const QByteArray &path, bool folder)
{
    const int fd = ::open(path.constData(), (folder ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    // Some file systems cannot sync a folder; the file itself is synced.
    if (::fsync(fd) != 0 && !(folder && (errno == EINVAL || errno == ENOTSUP)))
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

} // namespace

AccessImport convertAccessFile(const QString &source, const QString &target)
{
    const QByteArray head = readDatabaseHead(source);
    if (!isAccessHead(head)) {
        if (isSqliteHead(head)) {
            throw Failure(QStringLiteral("'%1' is an SQLite database already: open it with DB= as it is.")
                              .arg(source));
        }
        throw Failure(unrecognizedFormatText(source));
    }
    if (target.isEmpty())
        throw Failure(QStringLiteral("The target file name is empty: name the new SQLite file."));
    const QFileInfo targetInfo(target);
    const QByteArray targetPath = QFile::encodeName(targetInfo.absoluteFilePath());
    struct stat st;
    if (::lstat(targetPath.constData(), &st) == 0) {
        throw Failure(QStringLiteral("'%1' exists already. A conversion never replaces a file: "
                                     "name a new one as the target.")
                          .arg(target));
    }

    const QString folder = targetInfo.absolutePath();
    // Hidden, beside the target, with the rights a new file gets. What a
    // killed conversion to the same name left there goes first.
    const QString buildingPrefix = QStringLiteral(".") + targetInfo.fileName() + QStringLiteral(".rux_ppp-convert-");
    removeFilesLeftBehind(folder, buildingPrefix);
    const QByteArray building = createOwnedFile(folder + u'/' + buildingPrefix, newFileMode());
    if (building.isEmpty())
        throw Failure(QStringLiteral("Could not create '%1': %2").arg(target, systemErrorText(errno)));
    RemovedOnSignal removedOnSignal(building);
    const auto writeFailure = [&target](const QString &why) {
        return Failure(cannotWriteText(target, why));
    };
    try {
        // The reader process writes the copy and closes it.
        const AccessImport result = readAccessFileApart(source, building, target);
        if (const int error = syncToDisk(building, false))
            throw writeFailure(systemErrorText(error));
        // Once the file has its name, a signal no longer ends the
        // conversion as a failure: the signals wait until the program ends.
        RemovedOnSignal::holdSignals();
        if (const int error = renameNoReplace(building, targetPath)) {
            if (error == EEXIST) {
                throw Failure(QStringLiteral("'%1' was created by someone else during the conversion; "
                                             "it is left as it is.")
                                  .arg(target));
            }
            throw writeFailure(systemErrorText(error));
        }
        if (const int error = syncToDisk(QFile::encodeName(folder), true)) {
            // The file has its name; only its place in the folder may not
            // yet be on the disk.
            ::unlink(targetPath.constData());
            throw writeFailure(systemErrorText(error));
        }
        return result;
    } catch (...) {
        ::unlink(building.constData());
        RemovedOnSignal::releaseSignals();
        throw;
    }
}

} // namespace rux
