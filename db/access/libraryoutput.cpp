#include "db/access/libraryoutput.h"

#include <QList>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace rux {

namespace {

constexpr int kStreams[2] = {STDOUT_FILENO, STDERR_FILENO};

// Lines of libmdb that tell of no damage: about the options in its
// environment variable MDBOPTS, and its falling back to reading a table
// page by page when a usage map cannot be followed (the rows read are
// counted against the table's definition all the same).
bool isHarmless(const QByteArray &line)
{
    return line.contains("MDBOPTS") || line.startsWith("To suppress this warning")
        || line.contains("defaulting to brute force read") || line.trimmed().isEmpty();
}

} // namespace

LibraryOutput::LibraryOutput()
{
    std::fflush(stdout);
    std::fflush(stderr);
    int fds[2] = {-1, -1};
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        // Room for many lines between two looks.
        ::fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
        m_pipe = fds[0];
    }
    const int targets[2] = {null, fds[1] >= 0 ? fds[1] : null};
    for (int i = 0; i < 2; ++i) {
        if (targets[i] < 0)
            continue;
        m_saved[i] = ::fcntl(kStreams[i], F_DUPFD_CLOEXEC, 3);
        if (m_saved[i] >= 0)
            ::dup2(targets[i], kStreams[i]);
    }
    if (null >= 0)
        ::close(null);
    if (fds[1] >= 0)
        ::close(fds[1]);
}

LibraryOutput::~LibraryOutput()
{
    // What the library left in the streams' buffers goes the same way.
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
        if (m_saved[i] >= 0) {
            ::dup2(m_saved[i], kStreams[i]);
            ::close(m_saved[i]);
        }
    }
    if (m_pipe >= 0)
        ::close(m_pipe);
}

QByteArray LibraryOutput::damage()
{
    std::fflush(stderr);
    char buffer[65536];
    while (m_pipe >= 0 && m_damage.isEmpty()) {
        const ssize_t n = ::read(m_pipe, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_partialLine.append(buffer, n);
        const qsizetype end = m_partialLine.lastIndexOf('\n');
        if (end < 0)
            continue;
        for (const QByteArray &line : m_partialLine.left(end).split('\n')) {
            if (m_damage.isEmpty() && !isHarmless(line))
                m_damage = line.trimmed();
        }
        m_partialLine.remove(0, end + 1);
    }
    return m_damage;
}

} // namespace rux
