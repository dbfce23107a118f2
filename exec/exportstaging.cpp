#include "exec/exportstaging.h"

#include "exec/ioerror.h"
#include "script/failure.h"
#include "script/systemio.h"
#include "script/uniquefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

namespace {

[[noreturn]] void failStaging(int posixErrno)
{
    throw Failure(ioErrorText(ioErrorCode(posixErrno, true)));
}

// Copies the staged file's bytes into `target`, which is not a regular
// file; returns 0 or the errno of the failure.
int copyInto(const QByteArray &file, const QByteArray &target)
{
    const int in = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        error = writeAll(out, buffer, n);
        if (error != 0)
            break;
    }
    ::close(in);
    if (::close(out) != 0 && error == 0)
        error = errno;
    return error;
}

} // namespace

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
    bool copy = false;
    bool exists = false;
    mode_t mode = 0;
    struct stat st;
    if (::stat(QFile::encodeName(destination).constData(), &st) == 0) {
        exists = true;
        if (S_ISDIR(st.st_mode))
            failStaging(EISDIR);
        if (::access(QFile::encodeName(destination).constData(), W_OK) != 0)
            failStaging(errno);
        // Through a link, the file it names is replaced, as writing it would.
        destination = info.canonicalFilePath();
        copy = !S_ISREG(st.st_mode);
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        failStaging(errno);
    } else {
        mode = newFileMode();
    }

    if (copy && m_direct == Direct::WhereNeeded)
        return QString();
    // A device or a pipe is not replaced: its staged bytes wait elsewhere.
    const QString folder = copy ? QDir::tempPath() : QFileInfo(destination).absolutePath();
    const QByteArray name = createUniqueFile(folder + QStringLiteral("/.rux_ppp-export-"), mode);
    if (name.isEmpty()) {
        // A file that may be written in a folder that takes no new file:
        // written in place, as nothing else can.
        if (exists && m_direct == Direct::WhereNeeded)
            return QString();
        failStaging(errno);
    }

    for (auto it = m_staged.begin(); it != m_staged.end(); ++it) {
        if (it->target == destination) {
            ::unlink(QFile::encodeName(it->file).constData());
            m_staged.erase(it);
            break;
        }
    }
    m_staged.push_back(Staged{destination, QFile::decodeName(name), copy});
    return m_staged.back().file;
}

int ExportStaging::commit(QString *failure)
{
    failure->clear();
    int placed = 0;
    for (const Staged &s : m_staged) {
        const QByteArray file = QFile::encodeName(s.file);
        const QByteArray target = QFile::encodeName(s.target);
        int error = 0;
        if (s.copy)
            error = copyInto(file, target);
        else if (::rename(file.constData(), target.constData()) != 0)
            error = errno;
        if (s.copy || error != 0)
            ::unlink(file.constData());
        if (error == 0)
            ++placed;
        else if (failure->isEmpty())
            *failure = QStringLiteral("The export file '%1' could not be put in place: %2")
                          .arg(s.target, ioErrorText(ioErrorCode(error, true)));
    }
    m_staged.clear();
    return placed;
}

int ExportStaging::discard() noexcept
{
    const int count = int(m_staged.size());
    for (const Staged &s : m_staged)
        ::unlink(QFile::encodeName(s.file).constData());
    m_staged.clear();
    return count;
}

} // namespace rux
