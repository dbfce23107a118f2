#include "db/postgres/pgsession.h"

#include "db/engine.h"
#include "db/keepalive.h"
#include "db/postgres/pgscan.h"
#include "db/postgres/pgvalue.h"
#include "base/failure.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace rux::pg {

void ResultDeleter::operator()(PGresult *result) const
{
    libpq().PQclear(result);
}

namespace {

// "ERROR:  text" -> "text": the severity word (in the server's language)
// ends with ":" and two blanks.
QString withoutSeverity(const QString &line)
{
    const qsizetype at = line.indexOf(QLatin1String(":  "));
    if (at > 0) {
        for (qsizetype i = 0; i < at; ++i) {
            if (!line[i].isLetter())
                return line;
        }
        return line.mid(at + 3);
    }
    return line;
}

} // namespace

QString resultText(PGconn *conn, const PGresult *result)
{
    const Libpq &pq = libpq();
    if (result) {
        const char *primary = pq.PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
        const char *detail = pq.PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL);
        if (primary) {
            const QString text = QString::fromUtf8(primary);
            return detail ? text + QStringLiteral(": ") + QString::fromUtf8(detail) : text;
        }
    }
    return libpqText(conn);
}

QString libpqText(PGconn *conn)
{
    // libpq collects every error of a command: the first line tells the
    // cause, lines indented by a tab explain it, and further lines are the
    // errors that followed from it ("invalid socket").
    const QString text = QString::fromUtf8(libpq().PQerrorMessage(conn));
    return withoutSeverity(text.left(text.indexOf(u'\n')).trimmed());
}

bool connectionLost(PGconn *conn, const PGresult *result)
{
    const Libpq &pq = libpq();
    if (pq.PQstatus(conn) == CONNECTION_BAD)
        return true;
    // The server ends the session after a message of these severities.
    const char *severity = result ? pq.PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED) : nullptr;
    return severity && (qstrcmp(severity, "FATAL") == 0 || qstrcmp(severity, "PANIC") == 0);
}

QString lossText(PGconn *conn, const PGresult *result)
{
    const char *primary = result ? libpq().PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString text = primary ? QString::fromUtf8(primary).trimmed() : libpqText(conn);
    if (text.isEmpty())
        return kClosedText;
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

QString oneLine(const QString &text)
{
    QStringList parts;
    for (const QString &line : text.split(u'\n')) {
        const QString t = line.trimmed();
        if (!t.isEmpty())
            parts.append(t);
    }
    return parts.join(u' ');
}

QString sqlState(const PGresult *result)
{
    const char *state = result ? libpq().PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return state ? QString::fromLatin1(state) : QString();
}

QString failureText(PGconn *conn, const PGresult *result, QStringView sent)
{
    const Libpq &pq = libpq();
    if (result && pq.PQresultStatus(result) == PGRES_EMPTY_QUERY)
        return kNoStatementText;
    const QString state = sqlState(result);
    // "bind message supplies 0 parameters, but prepared statement requires
    // 1", or a parameter the server could not even type ("select $1").
    if (state == QLatin1String("08P01") || state == QLatin1String("42P18"))
        return kNoValueText;
    // "cannot insert multiple commands into a prepared statement": the
    // syntax error the server finds where it parses the statement sent, in
    // whatever language it speaks (a syntax error of a statement a function
    // runs is the server's own).
    if (state == QLatin1String("42601")) {
        const char *function = pq.PQresultErrorField(result, PG_DIAG_SOURCE_FUNCTION);
        const char *position = pq.PQresultErrorField(result, PG_DIAG_STATEMENT_POSITION);
        if (function ? qstrcmp(function, "exec_parse_message") == 0 : !position)
            return kAfterEndText;
        // The server parses the whole text before it counts the commands:
        // text after the first statement that is no statement at all
        // ("insert ...; xyz") fails as a syntax error there. The position
        // counts characters from 1.
        const qsizetype end = firstSemicolon(sent);
        if (position && end >= 0 && QByteArray(position).toLongLong() - 1 > end)
            return kAfterEndText;
    }
    return resultText(conn, result);
}

qint64 rowsChanged(const PGresult *result)
{
    bool ok = false;
    const qint64 rows = QByteArray(libpq().PQcmdTuples(const_cast<PGresult *>(result))).toLongLong(&ok);
    return ok ? rows : -1;
}

namespace {

qint64 clockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

Session::Session(PGconn *conn)
    : m_conn(conn)
{
    const Libpq &pq = libpq();
    // A command goes out without blocking: the waits below send what is
    // left as the server reads it, so that a server that reads nothing
    // cannot hold the program in a write.
    pq.PQsetnonblocking(conn, 1);
    // Taken once, here, for cancel requests from any thread: PQcancel()
    // works on this copy alone, never on the connection.
    if (PGcancel *cancel = pq.PQgetCancel(conn))
        m_cancel.reset(cancel, [freeCancel = pq.PQfreeCancel](PGcancel *c) { freeCancel(c); });
}

void Session::close()
{
    m_conn = nullptr;
    m_streaming = nullptr;
    m_busy.store(false);
}

void Session::lose(const QString &text)
{
    // Shut down, not closed: the socket stays libpq's, which closes it with
    // the connection, then without waiting for anything.
    const int socket = libpq().PQsocket(m_conn);
    if (socket >= 0)
        ::shutdown(socket, SHUT_RDWR);
    close();
    throw Failure(text);
}

void Session::checkOpen()
{
    if (m_conn)
        return;
    if (!m_untold.isEmpty())
        throw Failure(std::exchange(m_untold, QString()));
    throw Failure(kClosedText);
}

void Session::tellLater(const QString &failure)
{
    if (!m_conn)
        m_untold = failure;
}

void Session::makeFree()
{
    checkOpen();
    if (Stream *stream = m_streaming) {
        m_streaming = nullptr;
        stream->giveUp();
    }
    drain();
}

void Session::cancelCommand()
{
    if (m_busy.load())
        sendCancel();
}

void Session::sendCancel()
{
    // The wait for the answer counts from here, before the request goes
    // out: sending it to a host that is gone may itself take long. A
    // request repeated for the same command (a stop from outside repeats
    // it) does not start the count again.
    qint64 unasked = 0;
    m_cancelAt.compare_exchange_strong(unasked, clockMs());
    // Held by this call too: the session may end while a request from
    // another thread is on its way.
    if (const std::shared_ptr<PGcancel> cancel = m_cancel) {
        char message[256];
        libpq().PQcancel(cancel.get(), message, int(sizeof message));
    }
}

bool Session::inTransaction() const
{
    if (!m_conn)
        return false;
    const PGTransactionStatusType status = libpq().PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

void Session::send(const QString &command, const QVector<QVariant> &parameters, bool singleRow)
{
    checkOpen();
    const Libpq &pq = libpq();
    // Lost while nobody read from it: libpq's message still tells why.
    if (pq.PQstatus(m_conn) == CONNECTION_BAD)
        lose(lossText(m_conn, nullptr));
    const QByteArray text = command.toUtf8();
    QVector<QByteArray> values;
    values.reserve(parameters.size());
    QVector<const char *> pointers;
    for (const QVariant &p : parameters) {
        values.append(parameterText(p));
        pointers.append(values.back().isNull() ? nullptr : values.back().constData());
    }
    // A cancel asked for before concerns the commands before.
    m_cancelAt.store(0);
    m_busy.store(true);
    if (!pq.PQsendQueryParams(m_conn, text.constData(), int(pointers.size()), nullptr,
                              pointers.constData(), nullptr, nullptr, 0)) {
        m_busy.store(false);
        if (connectionLost(m_conn, nullptr))
            lose(lossText(m_conn, nullptr));
        throw Failure(resultText(m_conn, nullptr));
    }
    if (singleRow)
        pq.PQsetSingleRowMode(m_conn);
}

bool Session::awaitSocket(bool toWrite)
{
    const int socket = libpq().PQsocket(m_conn);
    if (socket < 0)
        return false;
    pollfd ready{socket, short(toWrite ? POLLIN | POLLOUT : POLLIN), 0};
    const int events = poll(&ready, 1, 20);
    if (events < 0 && errno != EINTR)
        return false;
    const qint64 now = clockMs();
    if (events > 0)
        m_heardAt = now;
    keepalive::check();
    // A server that answers a cancel does so at once, with the command's
    // failure; one that is stopped, or gone without a word, never does, and
    // its socket would be waited on for ever. Anything it sends meanwhile
    // counts as an answer.
    const qint64 asked = m_cancelAt.load();
    if (asked != 0 && now - std::max(asked, m_heardAt) >= kCancelGraceSeconds * 1000LL) {
        lose(QStringLiteral("The server did not answer within %1 seconds after the statement was "
                            "cancelled; the connection was closed.")
                 .arg(kCancelGraceSeconds));
    }
    return true;
}

void Session::awaitResult()
{
    const Libpq &pq = libpq();
    // A broken connection shows in the result read next.
    while (pq.PQisBusy(m_conn)) {
        const int unsent = pq.PQflush(m_conn);
        if (unsent < 0 || !awaitSocket(unsent > 0) || !pq.PQconsumeInput(m_conn))
            break;
    }
}

ResultPtr Session::nextResult()
{
    const Libpq &pq = libpq();
    for (;;) {
        checkOpen();
        awaitResult();
        ResultPtr result(pq.PQgetResult(m_conn));
        if (!result)
            m_busy.store(false);
        const ExecStatusType status = result ? pq.PQresultStatus(result.get()) : PGRES_COMMAND_OK;
        // The connection is gone for good: no later command can use it, and
        // no transaction is left open on the server.
        if (status == PGRES_FATAL_ERROR && connectionLost(m_conn, result.get()))
            lose(lossText(m_conn, result.get()));
        if (status == PGRES_COPY_IN || status == PGRES_COPY_BOTH) {
            // The program has no data to send: the server ends the copy
            // with a failure that carries this text.
            pq.PQputCopyEnd(m_conn, "the program sends no data to COPY FROM STDIN");
        } else if (status == PGRES_COPY_OUT) {
            skipCopyData();
        } else {
            return result;
        }
    }
}

// The rows of COPY TO STDOUT go nowhere; the command's end follows them.
void Session::skipCopyData()
{
    const Libpq &pq = libpq();
    for (;;) {
        char *row = nullptr;
        const int size = pq.PQgetCopyData(m_conn, &row, 1);
        if (size > 0) {
            pq.PQfreemem(row);
            keepalive::tick();
            continue;
        }
        if (size < 0 || !awaitSocket(false) || !pq.PQconsumeInput(m_conn))
            return;
    }
}

void Session::drain()
{
    while (nextResult()) {
    }
}

bool succeeded(const PGresult *result)
{
    const ExecStatusType status = libpq().PQresultStatus(result);
    return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK || status == PGRES_SINGLE_TUPLE;
}

ResultPtr Session::answer(const QString &command, const QVector<QVariant> &parameters)
{
    makeFree();
    send(command, parameters, false);
    ResultPtr kept;
    while (ResultPtr result = nextResult()) {
        if (!kept || succeeded(kept.get()))
            kept = std::move(result);
    }
    return kept;
}

ResultPtr Session::exec(const QString &command, const QVector<QVariant> &parameters)
{
    ResultPtr result = answer(command, parameters);
    if (!result || !succeeded(result.get()))
        throw Failure(failureText(m_conn, result.get(), command));
    return result;
}

} // namespace rux::pg
