#include "exec/exportfile.h"

#include "exec/ioerror.h"
#include "script/ansicodec.h"
#include "script/failure.h"

#include <QByteArray>
#include <QFile>

#include <vector>

#include <cerrno>
#include <fcntl.h>
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

// The open export file. The descriptor is closed by the destructor when a
// failure leaves before close() has run, so no failure leaks it.
class ExportFd
{
public:
    explicit ExportFd(const QString &fileName)
    {
        // A NUL would cut the name short at the system call and create a
        // different file; the name is refused as one the file system cannot
        // take.
        if (fileName.contains(QChar(u'\0')))
            throwIoError(EINVAL, true);
        const QByteArray path = QFile::encodeName(fileName);
        do {
            m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            throwIoError(errno, true);
    }

    ExportFd(const ExportFd &) = delete;
    ExportFd &operator=(const ExportFd &) = delete;

    ~ExportFd()
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
    // anyone: the first failure is the one reported.
    void writeQuietly(const char *data, qsizetype size) noexcept
    {
        if (m_broken)
            return;
        try {
            write(data, size);
        } catch (...) {
        }
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
    int m_fd = -1;
    bool m_broken = false;
};

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

qint64 writeExportFile(const QString &fileName, RowSource &rows, const QString &writeTo)
{
    if (fileName.size() > kMaxExportNameLength)
        throw Failure(ioErrorText(kIoInvalidFileName));

    ExportFd file(writeTo.isEmpty() ? fileName : writeTo);
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
