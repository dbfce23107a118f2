#include "exec/exportstaging.h"

#include "exec/ioerror.h"
#include "base/failure.h"
#include "base/ownedfiles.h"
#include "base/systemio.h"
#include "base/uniquefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

namespace {

// The names beside the targets: a staged export, a list of a run's staged
// files written before its commit, and the same list once the database
// has committed.
const QString kStagedPrefix = QStringLiteral(".rux_ppp-export-");
const QString kListPrefix = QStringLiteral(".rux_ppp-exports-");
const QString kCommittedPrefix = QStringLiteral(".rux_ppp-committed-");

[[noreturn]] void failStaging(int posixErrno)
{
    throw Failure(ioErrorText(ioErrorCode(posixErrno, true)));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// A list holds, for each staged file, its name and its target's name in
// the same folder, each ended by a NUL.
QByteArray listText(const std::vector<std::pair<QString, QString>> &pairs)
{
    QByteArray text;
    for (const auto &[file, target] : pairs)
        text += encoded(QFileInfo(file).fileName()) + '\0' + encoded(QFileInfo(target).fileName()) + '\0';
    return text;
}

QString committedName(const QString &list)
{
    const QFileInfo info(list);
    return info.dir().filePath(kCommittedPrefix + info.fileName().mid(kListPrefix.size()));
}

// Places the files a committed list names; returns how many it placed.
int placeListed(const QString &folder, const QString &list)
{
    QFile file(list);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> names = file.readAll().split('\0');
    const QByteArray base = encoded(folder) + '/';
    int placed = 0;
    for (qsizetype i = 0; i + 1 < names.size(); i += 2) {
        // Names only: a list never moves a file out of its folder.
        if (names[i].isEmpty() || names[i + 1].isEmpty() || names[i].contains('/') || names[i + 1].contains('/'))
            continue;
        const QByteArray staged = base + names[i];
        if (::rename(staged.constData(), (base + names[i + 1]).constData()) == 0)
            ++placed;
    }
    return placed;
}

} // namespace

bool isSpecialFile(const QString &target)
{
    struct stat st;
    return ::stat(encoded(target).constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

ExportStaging::~ExportStaging()
{
    discard();
}

QString ExportStaging::stage(const QString &target)
{
    if (target.contains(QChar(u'\0')))
        failStaging(EINVAL);
    const QFileInfo info(target);
    QString destination = info.absoluteFilePath();
    bool exists = false;
    mode_t mode = 0;
    struct stat st;
    if (::stat(encoded(destination).constData(), &st) == 0) {
        exists = true;
        if (S_ISDIR(st.st_mode))
            failStaging(EISDIR);
        if (!S_ISREG(st.st_mode)) {
            if (m_direct == Direct::WhereNeeded)
                return QString();
            throw Failure(QStringLiteral("The export file '%1' is a device, a pipe or a socket, which a run in one "
                                         "transaction cannot write: what is written there cannot be taken back.")
                              .arg(target));
        }
        if (::access(encoded(destination).constData(), W_OK) != 0)
            failStaging(errno);
        // Through a link, the file it names is replaced, as writing it would.
        destination = info.canonicalFilePath();
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        failStaging(errno);
    } else {
        mode = newFileMode();
    }

    const QString folder = QFileInfo(destination).absolutePath();
    const QByteArray name = createOwnedFile(folder + u'/' + kStagedPrefix, mode);
    if (name.isEmpty()) {
        // A file that may be written in a folder that takes no new file:
        // written in place, as nothing else can.
        if (exists && m_direct == Direct::WhereNeeded)
            return QString();
        failStaging(errno);
    }

    for (auto it = m_staged.begin(); it != m_staged.end(); ++it) {
        if (it->target == destination) {
            ::unlink(encoded(it->file).constData());
            m_staged.erase(it);
            break;
        }
    }
    m_staged.push_back(Staged{destination, QFile::decodeName(name)});
    return m_staged.back().file;
}

void ExportStaging::prepare()
{
    std::map<QString, std::vector<std::pair<QString, QString>>> byFolder;
    for (const Staged &s : m_staged)
        byFolder[QFileInfo(s.file).absolutePath()].emplace_back(s.file, s.target);
    for (const auto &[folder, pairs] : byFolder) {
        const QByteArray list = createOwnedFile(folder + u'/' + kListPrefix, 0600);
        if (list.isEmpty())
            failStaging(errno);
        m_lists.append(QFile::decodeName(list));
        const QByteArray text = listText(pairs);
        const int fd = ::open(list.constData(), O_WRONLY | O_CLOEXEC);
        int error = fd < 0 ? errno : writeAll(fd, text.constData(), text.size());
        if (fd >= 0) {
            if (error == 0 && ::fsync(fd) != 0)
                error = errno;
            ::close(fd);
        }
        if (error != 0)
            throw Failure(ioErrorText(ioErrorCode(error, false)));
    }
}

void ExportStaging::markCommitted() noexcept
{
    for (QString &list : m_lists) {
        const QString committed = committedName(list);
        if (::rename(encoded(list).constData(), encoded(committed).constData()) == 0)
            list = committed;
    }
}

int ExportStaging::commit(QString *failure)
{
    failure->clear();
    int placed = 0;
    for (const Staged &s : m_staged) {
        const QByteArray file = encoded(s.file);
        int error = 0;
        if (::rename(file.constData(), encoded(s.target).constData()) != 0) {
            error = errno;
            ::unlink(file.constData());
        }
        if (error == 0)
            ++placed;
        else if (failure->isEmpty())
            *failure = QStringLiteral("The export file '%1' could not be put in place: %2")
                          .arg(s.target, ioErrorText(ioErrorCode(error, true)));
    }
    m_staged.clear();
    for (const QString &list : std::as_const(m_lists))
        ::unlink(encoded(list).constData());
    m_lists.clear();
    return placed;
}

int ExportStaging::discard() noexcept
{
    const int count = int(m_staged.size());
    for (const Staged &s : m_staged)
        ::unlink(encoded(s.file).constData());
    m_staged.clear();
    for (const QString &list : std::as_const(m_lists))
        ::unlink(encoded(list).constData());
    m_lists.clear();
    return count;
}

QList<RecoveredExports> recoverExports(const QString &folder)
{
    QList<RecoveredExports> done;
    const auto entry = [&done, &folder](const QString &owner, bool committed) -> RecoveredExports & {
        for (RecoveredExports &d : done) {
            if (d.owner == owner)
                return d;
        }
        done.append(RecoveredExports{folder, owner, committed, 0});
        return done.back();
    };
    // The committed lists first: their files are placed, not removed.
    for (const QString &list : filesLeftBehind(folder, kCommittedPrefix)) {
        const QString owner = ownerMarkIn(QFileInfo(list).fileName(), kCommittedPrefix);
        entry(owner, true).files += placeListed(folder, list);
        ::unlink(encoded(list).constData());
    }
    for (const QString &list : filesLeftBehind(folder, kListPrefix))
        ::unlink(encoded(list).constData());
    for (const QString &file : filesLeftBehind(folder, kStagedPrefix)) {
        const QString owner = ownerMarkIn(QFileInfo(file).fileName(), kStagedPrefix);
        if (::unlink(encoded(file).constData()) == 0)
            ++entry(owner, false).files;
    }
    return done;
}

} // namespace rux
