#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>

#include <atomic>
#include <memory>

#include "db/postgres/libpq.h"

namespace rux::pg {

struct ResultDeleter
{
    void operator()(PGresult *result) const;
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// The server's message of a failed result as one line: its primary
// message, then ": " and its detail, if any; without a result (a broken
// connection), libpq's own message (libpqText()).
QString resultText(PGconn *conn, const PGresult *result);
QString sqlState(const PGresult *result);

// The failure text of a result that failed, in the tool's words where the
// server speaks of parameters nobody gave a value or of several commands
// in one text. `sent`: the command text, by which a syntax error found
// after the end of its first statement is told as a second statement.
QString failureText(PGconn *conn, const PGresult *result, QStringView sent = {});

// libpq's text, which may span lines, as one line.
QString oneLine(const QString &text);

// libpq's message of the last failure on the connection: its first line,
// without its severity word and without what libpq adds to explain it.
QString libpqText(PGconn *conn);

// The connection is gone for good: libpq lost it, or the server ended the
// session (`result`, when given, carries its FATAL or PANIC message).
bool connectionLost(PGconn *conn, const PGresult *result);

// Why the connection was lost, as one sentence: the server's primary
// message where it sent one, libpq's otherwise.
QString lossText(PGconn *conn, const PGresult *result);

// What the use of a session fails with once it has no connection.
inline constexpr QLatin1String kClosedText("The connection is closed.");

// A read that stands part-way through its rows on the connection.
class Stream
{
public:
    virtual ~Stream() = default;
    // Ends the read on the connection; the stream picks it up again by
    // running its statement anew when it is read on.
    virtual void giveUp() = 0;
};

// How long the server has to answer once it was asked to cancel the
// command it works on, before the connection is given up.
constexpr int kCancelGraceSeconds = 5;

// The connection, shared by the engine and the results it opened: a result
// may outlive the engine, and finds the connection gone then. Used from one
// thread, except cancelCommand() and sendCancel(), which any thread may
// call at any time.
class Session
{
public:
    explicit Session(PGconn *conn);
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    PGconn *conn() const { return m_conn; }
    bool open() const { return m_conn != nullptr; }
    // Forgets the connection, which its owner closes; every later use of
    // the session fails with kClosedText.
    void close();

    // Makes the connection free for a command of its own: the read standing
    // part-way is given up, results nobody reads any more are dropped.
    void makeFree();
    // Asks the server to cancel the command it works on; the command then
    // fails. Nothing is sent when no command is in progress. When the
    // server has not answered kCancelGraceSeconds later, the wait for the
    // command gives the connection up and fails with a text that says so.
    void cancelCommand();
    // Asks the server to cancel the command sent last, whatever state the
    // connection is in; the same wait follows.
    void sendCancel();
    void setStreaming(Stream *stream) { m_streaming = stream; }
    // A failure that had nobody to tell (a read given up while the program
    // waits for the user): when it closed the session, its next use fails
    // with it rather than with kClosedText.
    void tellLater(const QString &failure);
    Stream *streaming() const { return m_streaming; }

    // A transaction block is open (failed ones included).
    bool inTransaction() const;

    // Sends one command, parameters ($1, $2, ...) as text typed by the
    // server; `singleRow`: its rows come one result each.
    void send(const QString &command, const QVector<QVariant> &parameters, bool singleRow);
    // The next result of the command sent, awaited on the connection's
    // socket with the windows kept alive; null after the last. Fails with
    // lossText() when the connection is lost, and closes the session.
    ResultPtr nextResult();
    // Reads what is left of the answer.
    void drain();
    // Runs one command and reads its whole answer: the result that carries
    // its rows or its row count, or the first that failed.
    ResultPtr answer(const QString &command, const QVector<QVariant> &parameters = {});
    // The same, failing with failureText() when the command failed.
    ResultPtr exec(const QString &command, const QVector<QVariant> &parameters = {});


private:
    void checkOpen();
    // Gives the lost connection up: its socket is shut down, so that nothing
    // waits on it again, the session closes, and `text` is thrown.
    [[noreturn]] void lose(const QString &text);
    // Waits up to 20 ms for the socket to have data, or with `toWrite` room
    // for more of the command, with the windows kept alive. False when it
    // cannot be waited on (the failure shows in the result read next).
    // Gives the connection up when a cancel has gone unanswered too long.
    bool awaitSocket(bool toWrite);
    void awaitResult();
    void skipCopyData();

    PGconn *m_conn;
    std::shared_ptr<PGcancel> m_cancel; // the connection's cancel key
    std::atomic<bool> m_busy{false};    // a command was sent, its answer not read to the end
    std::atomic<qint64> m_cancelAt{0};  // when a cancel of it was asked for (ms), or 0
    qint64 m_heardAt = 0;               // when the socket last stirred (ms)
    Stream *m_streaming = nullptr;
    QString m_untold;
};

// The result tells of a command that ran (with or without rows).
bool succeeded(const PGresult *result);

// The rows changed by a command, from its tag; -1 when it tells none.
qint64 rowsChanged(const PGresult *result);

} // namespace rux::pg
