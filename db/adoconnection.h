#pragma once

#include "db/engine.h"

#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

namespace rux {

// The database connection (`access_con`). It holds a connection string,
// takes the Data Source out of it and opens the engine that database needs
// (db/engines.h): a PostgreSQL server when the Data Source is a
// postgresql:// URI, an Access file (read into SQLite, read-only), otherwise
// an SQLite file. The queries and tables run their statements through that
// engine. Failures are Failure exceptions carrying the engine's text,
// naming the file.
class AdoConnection : public QObject
{
    Q_OBJECT
public:
    explicit AdoConnection(const QString &objectName, QObject *parent = nullptr);
    ~AdoConnection() override;

    QString connectionString() const { return m_connectionString; }
    // The Data Source as it may be shown: a PostgreSQL URI with its
    // password masked, anything else as it is.
    static QString shownDataSource(const QString &dataSource);
    // Only while closed; throws otherwise.
    void setConnectionString(const QString &connectionString);

    // Nothing when already open.
    void Open();
    // Nothing when closed.
    void Close();
    bool connected() const { return m_engine != nullptr; }

    // Opens the connection if it is closed: every query and table calls
    // this before it runs anything.
    void ensureOpen() { if (!connected()) Open(); }

    // Which engine runs the statements of the open connection.
    using Engine = EngineKind;
    Engine engine() const { return m_engine ? m_engine->kind() : Engine::Sqlite; }
    // The engine of the open connection; only while connected.
    DatabaseEngine &dbEngine() const { return *m_engine; }
    // The failure text of a data-changing statement or a posted edit on a
    // read-only engine; empty when the engine takes changes.
    QString readOnlyText() const { return m_engine ? m_engine->readOnlyText() : QString(); }
    // What opening the database left out, one sentence each (see
    // DatabaseEngine::openNotes()).
    QStringList openNotes() const { return m_engine ? m_engine->openNotes() : QStringList(); }

    static constexpr int kBusyTimeoutMs = rux::kBusyTimeoutMs;

    // Runs a statement of the program's own (transaction control), after
    // the queries and tables have given up their reads. Throws the
    // engine's text.
    void runControl(const QString &statement);
    // Begins a transaction that will write (DatabaseEngine::beginWriting).
    void beginWriting();
    // Stops the statement that runs on the connection now (the engine's
    // interrupt); nothing happens when none runs or the connection is
    // closed. Safe from another thread: the engine is not closed meanwhile.
    void interrupt();
    // A transaction is open on the connection.
    bool inTransaction() const { return m_engine && m_engine->inTransaction(); }

    // A query or table of this connection is about to run a statement.
    void announceStatement(const QObject *runner) { Q_EMIT statementStarting(runner); }

Q_SIGNALS:
    // Sent when the connection has opened (on demand too).
    void opened();
    // Sent before the connection closes: open queries and tables release
    // their statements.
    void aboutToClose();
    // Sent before a statement runs: the other queries and tables stop a
    // read they left part-way, which would make the engine refuse to drop
    // a table.
    void statementStarting(const QObject *runner);
    // Sent whenever the program is about to wait for events: the queries
    // and tables give up the reads they left part-way, so that nothing
    // holds a lock on the database while the user looks at it.
    void idle();

private:
    QString m_connectionString;
    std::unique_ptr<DatabaseEngine> m_engine;
    bool m_idleWatched = false;
    // Held while the engine is set or taken away, and while another
    // thread interrupts it.
    std::mutex m_interruptGuard;
};

} // namespace rux
