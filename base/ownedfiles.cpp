#include "base/ownedfiles.h"

#include "base/uniquefile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace rux {

namespace {

// The time a process started, in clock ticks after the boot, from the 22nd
// field of /proc/<pid>/stat; empty when it cannot be read (the process has
// ended, or /proc is not there).
QByteArray startTimeOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray text = stat.readAll();
    // The command name, in brackets, may hold blanks and brackets itself:
    // the fields are counted from the last closing bracket.
    const qsizetype end = text.lastIndexOf(')');
    if (end < 0)
        return QByteArray();
    const QList<QByteArray> fields = text.mid(end + 2).split(' ');
    // After the name: state (field 3) ... starttime (field 22).
    constexpr int kStartTime = 22 - 3;
    return fields.size() > kStartTime ? fields.at(kStartTime) : QByteArray();
}

bool isDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

QString ownerMark()
{
    static const QString mark = [] {
        const pid_t pid = ::getpid();
        const QByteArray started = startTimeOf(pid);
        return QString::number(pid) + u'.' + (started.isEmpty() ? QStringLiteral("0") : QString::fromLatin1(started));
    }();
    return mark;
}

QString ownerMarkIn(const QString &fileName, const QString &prefix)
{
    if (!fileName.startsWith(prefix))
        return QString();
    const QStringView rest = QStringView(fileName).mid(prefix.size());
    const qsizetype dash = rest.indexOf(u'-');
    if (dash < 0)
        return QString();
    const QStringView mark = rest.left(dash);
    const qsizetype dot = mark.indexOf(u'.');
    if (dot < 0 || !isDigits(mark.left(dot)) || !isDigits(mark.mid(dot + 1)))
        return QString();
    return mark.toString();
}

bool ownerEnded(const QString &mark)
{
    const qsizetype dot = mark.indexOf(u'.');
    bool ok = false;
    const qlonglong pid = QStringView(mark).left(dot).toLongLong(&ok);
    if (dot < 0 || !ok || pid <= 0 || pid != qlonglong(pid_t(pid)))
        return false;
    if (::kill(pid_t(pid), 0) != 0)
        return errno == ESRCH;
    // A process with that id runs: the same one only when it started at
    // the time the mark gives ("0": the time was not known then).
    const QByteArray started = startTimeOf(pid_t(pid));
    const QStringView marked = QStringView(mark).mid(dot + 1);
    return !started.isEmpty() && marked != QLatin1String("0") && marked != QLatin1String(started);
}

QByteArray createOwnedFile(const QString &prefix, mode_t mode)
{
    return createUniqueFile(prefix + ownerMark() + u'-', mode);
}

QStringList filesLeftBehind(const QString &folder, const QString &namePrefix)
{
    QStringList found;
    const QDir dir(folder);
    // Without a name filter: the prefix may hold characters a wildcard
    // pattern would read as its own.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString mark = ownerMarkIn(name, namePrefix);
        if (!mark.isEmpty() && mark != ownerMark() && ownerEnded(mark))
            found.append(dir.filePath(name));
    }
    return found;
}

int removeFilesLeftBehind(const QString &folder, const QString &namePrefix)
{
    int removed = 0;
    for (const QString &file : filesLeftBehind(folder, namePrefix)) {
        if (::unlink(QFile::encodeName(file).constData()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace rux
