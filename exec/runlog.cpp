#include "exec/runlog.h"

#include "base/systemio.h"

#include "base/failure.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

namespace {

QString now()
{
    // With the offset written out, so the time reads the same anywhere.
    const QDateTime local = QDateTime::currentDateTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

RunLog::~RunLog()
{
    try {
        release();
    } catch (const Failure &) {
        // Nobody is left to tell.
    }
    if (m_ownsFd && m_fd >= 0)
        ::close(m_fd);
}

QString RunLog::field(const QString &value)
{
    bool plain = !value.isEmpty();
    for (const QChar c : value) {
        if (c.unicode() <= 0x20 || c == u'"' || c == u'\\' || c == u'=' || c.isSpace()) {
            plain = false;
            break;
        }
    }
    if (plain)
        return value;
    QString out(1, u'"');
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default: out += c;
        }
    }
    out += u'"';
    return out;
}

void RunLog::open(const QString &fileName, const QString &version)
{
    m_name = fileName;
    const auto fail = [&fileName](int error) {
        return Failure(QStringLiteral("Cannot write the log file '%1': %2").arg(fileName, systemErrorText(error)));
    };
    if (fileName == QLatin1String("-")) {
        m_fd = STDERR_FILENO;
    } else {
        const QByteArray path = QFile::encodeName(fileName);
        // Without blocking: a pipe that no program reads fails at once
        // (ENXIO) instead of holding the run before it begins.
        do {
            m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0) {
            const int error = errno;
            if (error == ENXIO)
                throw Failure(QStringLiteral("Cannot write the log file '%1': it is a pipe that no program reads.")
                                  .arg(fileName));
            throw fail(error);
        }
        m_ownsFd = true;
        // A pipe with a reader is written as any file: each record whole.
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        struct stat st;
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            // The descriptor only writes: the last byte is read apart.
            const int reader = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            char last = '\n';
            if (reader >= 0) {
                if (::pread(reader, &last, 1, st.st_size - 1) == 1 && last != '\n')
                    m_pending += '\n';
                ::close(reader);
            }
        }
    }
    write(QStringLiteral("start version=%1 time=%2 pid=%3")
              .arg(field(version), now(), QString::number(QCoreApplication::applicationPid())));
}

bool RunLog::isFile(const QString &path) const
{
    if (!m_ownsFd || m_fd < 0)
        return false;
    struct stat log;
    struct stat other;
    return ::fstat(m_fd, &log) == 0 && ::stat(QFile::encodeName(path).constData(), &other) == 0
        && log.st_dev == other.st_dev && log.st_ino == other.st_ino;
}

void RunLog::release()
{
    if (!m_held)
        return;
    m_held = false;
    const QByteArray pending = std::exchange(m_pending, QByteArray());
    if (m_fd < 0 || m_broken || pending.isEmpty())
        return;
    if (const int error = writeAll(m_fd, pending.constData(), pending.size())) {
        m_broken = true;
        throw Failure(QStringLiteral("Cannot write the log file '%1': %2").arg(m_name, systemErrorText(error)));
    }
}

void RunLog::refuse() noexcept
{
    m_pending.clear();
    m_broken = true;
}

void RunLog::write(const QString &line)
{
    if (m_fd < 0 || m_broken)
        return;
    const QByteArray bytes = (line + u'\n').toUtf8();
    if (m_held) {
        m_pending += bytes;
        return;
    }
    if (const int error = writeAll(m_fd, bytes.constData(), bytes.size())) {
        m_broken = true;
        throw Failure(QStringLiteral("Cannot write the log file '%1': %2").arg(m_name, systemErrorText(error)));
    }
}

void RunLog::writeQuietly(const QString &line) noexcept
{
    try {
        write(line);
    } catch (...) {
    }
}

void RunLog::beginRun(const Header &header)
{
    m_runBegun = true;
    m_batches = 0;
    m_transaction.clear();
    m_runClock.start();
    write(QStringLiteral("run time=%1 database=%2 script=%3 run_id=%4 single_transaction=%5")
              .arg(now(), field(header.database), field(header.script), field(header.runId),
                   header.singleTransaction ? QStringLiteral("yes") : QStringLiteral("no")));
    for (const auto &p : header.parameters)
        write(QStringLiteral("param name=%1 value=%2").arg(field(p.first), field(p.second)));
    for (const QString &note : header.notes)
        write(QStringLiteral("note text=%1").arg(field(note)));
}

void RunLog::batch(const BatchRecord &record)
{
    release();
    ++m_batches;
    QString line = QStringLiteral("batch line=%1 path=%2").arg(record.line).arg(record.path);
    if (!record.table.isEmpty())
        line += QStringLiteral(" table=") + field(record.table);
    if (record.rows >= 0) {
        line += (record.path == QLatin1String("result_set") ? QStringLiteral(" rows_read=")
                                                            : QStringLiteral(" rows="))
            + QString::number(record.rows);
    }
    if (!record.exportFile.isEmpty()) {
        line += QStringLiteral(" export=") + field(record.exportFile);
        if (record.exportRows >= 0)
            line += QStringLiteral(" export_rows=") + QString::number(record.exportRows);
    }
    line += QStringLiteral(" ms=") + QString::number(record.ms);
    if (!record.silenced.isNull())
        line += QStringLiteral(" silenced=") + field(record.silenced);
    if (!record.failed.isNull())
        line += QStringLiteral(" failed=") + field(record.failed);
    write(line);
}

void RunLog::transaction(const QString &outcome, int exports)
{
    m_transaction = outcome;
    writeQuietly(QStringLiteral("transaction outcome=%1 exports=%2").arg(outcome).arg(exports));
}

void RunLog::leftover(const QString &folder, const QString &owner, bool placed, int files)
{
    writeQuietly(QStringLiteral("leftover folder=%1 owner=%2 outcome=%3 files=%4")
                     .arg(field(folder), owner, placed ? QStringLiteral("placed") : QStringLiteral("removed"))
                     .arg(files));
}

void RunLog::endRun(const QString &failure, int status, StopCause cause)
{
    QString outcome;
    switch (cause) {
    case StopCause::User: outcome = QStringLiteral("stopped"); break;
    case StopCause::Timeout: outcome = QStringLiteral("timed_out"); break;
    case StopCause::Signal: outcome = QStringLiteral("terminated"); break;
    case StopCause::None:
        outcome = failure.isEmpty() ? QStringLiteral("success") : QStringLiteral("failure");
        break;
    }
    QString line = QStringLiteral("end time=%1 outcome=%2").arg(now(), outcome);
    if (!failure.isEmpty())
        line += QStringLiteral(" failure=") + field(failure);
    line += QStringLiteral(" batches=%1 ms=%2 status=%3")
                .arg(m_batches)
                .arg(m_runClock.isValid() ? m_runClock.elapsed() : 0)
                .arg(status);
    if (!m_transaction.isEmpty())
        line += QStringLiteral(" transaction=") + m_transaction;
    writeQuietly(line);
    try {
        release();
    } catch (const Failure &) {
        // Reported where the run's own failure is.
    }
    m_runBegun = false;
}

void RunLog::message(const QString &level, const QString &text)
{
    writeQuietly(QStringLiteral("qt level=%1 text=%2").arg(level, field(text)));
}

} // namespace rux
