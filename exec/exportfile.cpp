#include "exec/exportfile.h"

#include "exec/ioerror.h"
#include "base/ansicodec.h"
#include "base/failure.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>

#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

namespace {

// Output is collected up to this size before it goes to the file.
constexpr qsizetype kFlushSize = 256 * 1024;

// A line of the file: each value followed by four blanks, then CR LF.
constexpr QByteArrayView kFieldEnd("    ", 4);

[[noreturn]] void throwIoError(int posixErrno, bool creatingFile)
{
    throw Failure(ioErrorText(ioErrorCode(posixErrno, creatingFile)));
}

} // namespace

// The open export file. The descriptor is closed by the destructor when a
// failure leaves before close() has run, so no failure leaks it.
class ExportFile::Fd
{
public:
    Fd(const QString &fileName, std::function<void()> waiting) : m_waiting(std::move(waiting))
    {
        // A NUL would cut the name short at the system call and create a
        // different file; the name is refused as one the file system cannot
        // take.
        if (fileName.contains(QChar(u'\0')))
            throwIoError(EINVAL, true);
        const QByteArray path = QFile::encodeName(fileName);
        // Not emptied yet: the file keeps its bytes until the rows are
        // there to be written (startEmpty). Without blocking: a pipe that nobody reads yet fails to open at
        // once (ENXIO) instead of holding the program, and a full pipe
        // takes no more instead of blocking a write.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
            if (m_fd >= 0)
                break;
            if (errno == EINTR)
                continue;
            if (errno != ENXIO || !isPipe(path))
                throwIoError(errno, true);
            if (waited.elapsed() >= kPipeReaderWaitMs)
                throw Failure(QStringLiteral("No program reads the pipe '%1': the export waited %2 seconds "
                                             "for one.")
                                  .arg(fileName)
                                  .arg(kPipeReaderWaitMs / 1000));
            wait(kPipeRetryMs);
        }
    }

    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Writes all of `data`. A failed write marks the file broken, so that
    // nothing more is tried on it, and throws.
    void write(const char *data, qsizetype size)
    {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size_t(size));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    // A pipe or a terminal full for now: waits until it
                    // takes more, or the wait is ended.
                    pollfd room{m_fd, POLLOUT, 0};
                    ::poll(&room, 1, kPipeRetryMs);
                    callWaiting();
                    continue;
                }
                m_broken = true;
                throwIoError(errno, false);
            }
            if (n == 0) {
                // A regular file never takes nothing of a non-empty write;
                // stop instead of trying for ever.
                m_broken = true;
                throwIoError(EIO, false);
            }
            data += n;
            size -= n;
        }
    }

    // The last write before a failure from elsewhere leaves: keeps what was
    // complete, as closing the file would. Its own errors are of no use to
    // anyone: the first failure is the one reported. A stop ends it too.
    void writeQuietly(const char *data, qsizetype size) noexcept
    {
        if (m_broken)
            return;
        try {
            write(data, size);
        } catch (...) {
        }
    }

    // The rows are there: a file written in place is emptied now.
    void startEmpty()
    {
        struct stat st;
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(m_fd, 0) != 0)
            throwIoError(errno, false);
    }

    void close()
    {
        const int fd = m_fd;
        m_fd = -1;
        // Never retried: on Linux the descriptor is released even when
        // close reports an error, and a second close could hit another
        // file's descriptor.
        if (::close(fd) != 0)
            throwIoError(errno, false);
    }

private:
    static constexpr int kPipeRetryMs = 50;

    static bool isPipe(const QByteArray &path)
    {
        struct stat st;
        return ::stat(path.constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

    void wait(int ms)
    {
        ::poll(nullptr, 0, ms);
        callWaiting();
    }

    void callWaiting()
    {
        if (m_waiting)
            m_waiting();
    }

    int m_fd = -1;
    bool m_broken = false;
    std::function<void()> m_waiting;
};

namespace {

// Which fields go into a line: read once for each field count the rows
// report, not once per row.
class WrittenFields
{
public:
    const std::vector<int> &forCount(RowSource &rows, int count)
    {
        if (count != m_count) {
            m_fields.clear();
            for (int j = 1; j <= count; ++j) {
                if (!isIx(rows.fieldName(j)))
                    m_fields.push_back(j);
            }
            m_count = count;
        }
        return m_fields;
    }

private:
    static bool isIx(const QString &name)
    {
        // "ix" in any mix of case, folding only A to Z.
        return name.size() == 2 && (name[0] == u'i' || name[0] == u'I')
            && (name[1] == u'x' || name[1] == u'X');
    }

    int m_count = -1;
    std::vector<int> m_fields;
};

} // namespace

void checkExportFileName(const QString &fileName)
{
    if (fileName.size() > kMaxExportNameLength)
        throw Failure(ioErrorText(kIoInvalidFileName));
}

ExportFile::ExportFile(const QString &fileName, const QString &writeTo, std::function<void()> waiting)
{
    checkExportFileName(fileName);
    m_fd = std::make_unique<Fd>(writeTo.isEmpty() ? fileName : writeTo, std::move(waiting));
}

ExportFile::~ExportFile() = default;

qint64 writeExportFile(const QString &fileName, RowSource &rows, const QString &writeTo)
{
    ExportFile file(fileName, writeTo);
    return file.write(rows);
}

qint64 ExportFile::write(RowSource &rows)
{
    Fd &file = *m_fd;
    file.startEmpty();
    qint64 rowsWritten = 0;
    QByteArray buffer;
    buffer.reserve(kFlushSize + 64 * 1024);
    // The end of the last complete line in the buffer: a failure in the
    // middle of a row leaves that row's part out of the file.
    qsizetype complete = 0;
    WrittenFields written;

    try {
        rows.First();
        const bool noRows = rows.Eof();
        do {
            rows.appendFieldsAnsi(written.forCount(rows, rows.fieldCount()), kFieldEnd, buffer);
            appendBytes(buffer, "\r\n", 2);
            complete = buffer.size();
            if (complete >= kFlushSize) {
                file.write(buffer.constData(), complete);
                // resize keeps the capacity; clear() would free it.
                buffer.resize(0);
                complete = 0;
            }
            if (!noRows)
                ++rowsWritten;
            rows.Next();
        } while (!rows.Eof());
    } catch (...) {
        file.writeQuietly(buffer.constData(), complete);
        throw;
    }

    file.write(buffer.constData(), buffer.size());
    file.close();
    return rowsWritten;
}

} // namespace rux
