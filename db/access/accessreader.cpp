#include "db/access/accessreader.h"

#include "db/access/mdbchecks.h"
#include "db/databasefile.h"
#include "base/failure.h"
#include "base/systemio.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace rux {

namespace {

constexpr char kReaderName[] = "rux_ppp-access-reader";
// The reader reports on this descriptor; its standard streams go nowhere,
// since libmdb writes what it meets in a damaged file there.
constexpr int kReportFd = 3;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The report's fields are percent-encoded, so a name may hold any byte.
QByteArray field(const QString &text)
{
    return text.toUtf8().toPercentEncoding(" ");
}
QString fieldText(const QByteArray &encoded)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
}

// The reader program: beside the running program (the build tree, or a
// folder holding both), then where the package installs it, then, for the
// tests and benchmarks that run from the build tree's subfolders, in the
// build tree itself.
QString readerProgram()
{
    QStringList candidates;
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const QString folder = QFileInfo(QString::fromLocal8Bit(self, int(n))).absolutePath();
        candidates << folder + u'/' + QLatin1String(kReaderName);
#ifdef RUX_READER_RELATIVE_DIR
        candidates << folder + QStringLiteral("/" RUX_READER_RELATIVE_DIR "/") + QLatin1String(kReaderName);
#endif
    }
#ifdef RUX_READER_BUILD_DIR
    candidates << QStringLiteral(RUX_READER_BUILD_DIR "/") + QLatin1String(kReaderName);
#endif
    for (const QString &candidate : candidates) {
        if (::access(QFile::encodeName(candidate).constData(), X_OK) == 0)
            return candidate;
    }
    return QString();
}

qint64 residentBytes(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[256];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    text[n] = '\0';
    long long size = 0;
    long long resident = 0;
    if (std::sscanf(text, "%lld %lld", &size, &resident) != 2)
        return 0;
    return qint64(resident) * qint64(::sysconf(_SC_PAGESIZE));
}

// Starts `program` with `arguments`; its process and the read end of its
// report in `pid` and `reportFd`.
void spawnReader(pid_t *pid, int *reportFd, const QString &program, const QList<QByteArray> &arguments)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw Failure(QStringLiteral("Could not start the Access reader: %1").arg(systemErrorText(errno)));
    *reportFd = fds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], kReportFd);

    const QByteArray path = QFile::encodeName(program);
    QList<char *> argv;
    argv.append(const_cast<char *>(path.constData()));
    for (const QByteArray &argument : arguments)
        argv.append(const_cast<char *>(argument.constData()));
    argv.append(nullptr);
    // The program blocks the signals that end it (its watch thread takes
    // them); the reader starts with none blocked and the default actions.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &ending);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int error = ::posix_spawn(pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0)
        throw Failure(QStringLiteral("Could not start the Access reader '%1': %2").arg(program, systemErrorText(error)));
}

// Waits for the process `pid` to end; its wait status.
int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Writes the database `db` as the bytes of its file to the file `path`.
void writeImage(sqlite3 *db, const char *path, const QString &targetName)
{
    sqlite3_int64 size = 0;
    unsigned char *image = sqlite3_serialize(db, "main", &size, 0);
    if (!image)
        throw Failure(cannotWriteText(targetName, QString::fromUtf8(sqlite3_errstr(SQLITE_NOMEM))));
    const int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    int error = fd >= 0 ? writeAll(fd, reinterpret_cast<const char *>(image), qsizetype(size)) : errno;
    sqlite3_free(image);
    if (fd >= 0 && ::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw Failure(cannotWriteText(targetName, systemErrorText(error)));
}

QString endedText(int status)
{
    if (WIFSIGNALED(status)) {
        return QStringLiteral("the file is damaged: its reader crashed (%1)")
            .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
    }
    return QStringLiteral("the file is damaged: its reader ended with status %1 and no result")
        .arg(WEXITSTATUS(status));
}

} // namespace

AccessReadBounds accessReadBounds(qint64 fileSize)
{
    AccessReadBounds bounds;
    // 20 s, and a second more for every 2 MB of the file.
    bounds.milliseconds = 20000 + fileSize / 2000;
    // 512 MB, and twice the file (a memo may be as large as the file).
    bounds.bytes = (qint64(512) << 20) + 2 * fileSize;
    // The address sanitizer's own memory comes on top in its builds.
    if (kSanitized)
        bounds.bytes += qint64(1) << 30;
    return bounds;
}

AccessReader::AccessReader(const QString &source, const QByteArray &copyPath, const QString &targetName,
                           CopyBuilt built)
    : m_source(source), m_bounds(accessReadBounds(QFileInfo(source).size()))
{
    const QString program = readerProgram();
    if (program.isEmpty()) {
        throw Failure(accessReadFailureText(source, QStringLiteral("its reader %1 is not installed beside the program")
                                                  .arg(QLatin1String(kReaderName))));
    }
    m_started = std::chrono::steady_clock::now();
    spawnReader(&m_pid, &m_reportFd, program,
                {QFile::encodeName(source), copyPath, targetName.toUtf8(),
                 QByteArray::number(qint64(::getpid())), QByteArray::number(m_bounds.bytes),
                 built == CopyBuilt::InMemory ? QByteArray("memory") : QByteArray("file")});
}

AccessReader::~AccessReader()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        reap(m_pid);
    }
    if (m_reportFd >= 0)
        ::close(m_reportFd);
}

AccessImport AccessReader::finish()
{
    QByteArray report;
    bool open = true;
    QString overBound;
    while (open) {
        pollfd p = {m_reportFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 20);
        if (ready > 0) {
            char buffer[4096];
            const ssize_t n = ::read(m_reportFd, buffer, sizeof buffer);
            if (n > 0)
                report.append(buffer, qsizetype(n));
            else if (n == 0 || errno != EINTR)
                open = false;
        }
        const qint64 elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - m_started)
                                   .count();
        if (elapsed > m_bounds.milliseconds) {
            overBound = QStringLiteral("the file is damaged: reading it took longer than %1 seconds")
                            .arg(m_bounds.milliseconds / 1000);
        } else if (residentBytes(m_pid) > m_bounds.bytes) {
            overBound = QStringLiteral("the file is damaged: reading it needed more than %1 MB of memory")
                            .arg(m_bounds.bytes >> 20);
        }
        if (!overBound.isEmpty())
            throw Failure(accessReadFailureText(m_source, overBound));
    }
    // The report ends when the reader closes it at its exit.
    const int status = reap(m_pid);
    m_pid = -1;

    AccessImport result;
    bool done = false;
    for (const QByteArray &line : report.split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.first() == "table" && parts.size() == 3)
            result.tableRows.append(ImportedTable{fieldText(parts[1]), parts[2].toLongLong()});
        else if (parts.first() == "note" && parts.size() == 2)
            result.notes.append(fieldText(parts[1]));
        else if (parts.first() == "fail" && parts.size() == 2)
            throw Failure(fieldText(parts[1]));
        else if (parts.first() == "done")
            done = true;
    }
    if (!done || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Failure(accessReadFailureText(m_source, endedText(status)));
    return result;
}

AccessImport readAccessFileApart(const QString &source, const QByteArray &copyPath,
                                 const QString &targetName, CopyBuilt built)
{
    return AccessReader(source, copyPath, targetName, built).finish();
}

int accessReaderMain(int argc, char **argv)
{
    if (argc != 7)
        return 2;
    // The reader ends with the program that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != pid_t(std::atoll(argv[4])))
        return 2;
    // A crash on a damaged file leaves no core file behind.
    const rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    // Runaway memory fails an allocation here before the program watching
    // the reader needs to step in; the address space holds the libraries as
    // well, hence the room above the bound. Sanitizers reserve terabytes of
    // address space and cannot run under such a limit.
    if (!kSanitized) {
        const rlim_t bytes = rlim_t(std::atoll(argv[5])) + (rlim_t(1) << 30);
        const rlimit space = {bytes, bytes};
        ::setrlimit(RLIMIT_AS, &space);
    }

    const QString source = QFile::decodeName(argv[1]);
    const QString targetName = QString::fromUtf8(argv[3]);
    QByteArray report;
    int status = 0;
    // "memory": the copy is built in memory and written to its file at
    // once, for a copy that is read into memory anyway; "file": in its file.
    const bool inMemory = std::strcmp(argv[6], "memory") == 0;
    sqlite3 *db = nullptr;
    try {
        if (sqlite3_open_v2(inMemory ? ":memory:" : argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw Failure(cannotWriteText(targetName, QString::fromUtf8(sqlite3_errmsg(db))));
        // The copy is nobody's until the read is done, and is removed on any
        // failure: no journal on disk and no sync per commit.
        sqlite3_exec(db, "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536",
                     nullptr, nullptr, nullptr);
        const AccessImport result = importAccessFile(source, db, targetName);
        // A file without tables still gets its header, so it opens as a
        // database.
        if (sqlite3_exec(db, "PRAGMA user_version=0", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Failure(cannotWriteText(targetName, QString::fromUtf8(sqlite3_errmsg(db))));
        if (inMemory)
            writeImage(db, argv[2], targetName);
        if (sqlite3_close(db) != SQLITE_OK)
            throw Failure(cannotWriteText(targetName, QString::fromUtf8(sqlite3_errmsg(db))));
        db = nullptr;
        for (const ImportedTable &table : result.tableRows)
            report += "table\t" + field(table.name) + '\t' + QByteArray::number(table.rows) + '\n';
        for (const QString &note : result.notes)
            report += "note\t" + field(note) + '\n';
        report += "done\n";
    } catch (const Failure &failure) {
        report += "fail\t" + field(failure.text()) + '\n';
        status = 1;
    }
    sqlite3_close(db);
    return writeAll(kReportFd, report.constData(), report.size()) == 0 ? status : 1;
}

} // namespace rux

