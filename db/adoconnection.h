#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

struct sqlite3;

namespace rux {

// The database connection (`access_con`). It holds a connection string,
// takes the Data Source out of it and opens that database: a PostgreSQL
// server when the Data Source is a postgresql:// URI, otherwise a file. The
// embedded engine is SQLite: the file must exist and be an SQLite database;
// it is opened read-write (read-only when the file is write-protected), never
// created, with a busy timeout so that another program may use the same
// file at the same time. An Access file (Jet or ACE, told by its header) is
// read into an SQLite database of the connection's own and is read-only
// there; on Windows the Access ODBC driver opens it read-write. Failures
// are Failure exceptions carrying the engine's text, naming the file.
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
    bool connected() const { return m_connected; }

    // Opens the connection if it is closed: every query and table calls
    // this before it runs anything.
    void ensureOpen() { if (!m_connected) Open(); }

    // Which engine runs the statements of the open connection.
    enum class Engine { Sqlite, Access, Postgres };
    Engine engine() const { return m_engine; }
    // Statements run on SQLite (an SQLite file, or an Access file's tables
    // read into SQLite): the sqlite3 handle and metadata calls are valid.
    bool runsOnSqlite() const { return m_engine != Engine::Postgres && m_accessOnSqlite; }
    // The connection refuses every data-changing statement (Access files
    // on this platform).
    bool readOnlyEngine() const { return m_engine == Engine::Access && m_accessOnSqlite; }
    // The failure text of a data-changing statement or a posted edit on a
    // read-only engine.
    QString readOnlyText() const;

    QSqlDatabase database() const;
    // The engine's handle while connected on SQLite; null otherwise.
    sqlite3 *sqliteHandle() const;

    static constexpr int kBusyTimeoutMs = 5000;

    // Runs a statement of the program's own (transaction control), after
    // the queries and tables have given up their reads. Throws the
    // engine's text.
    void runControl(const QString &statement);
    // A transaction is open on the connection.
    bool inTransaction() const;

    // A query or table of this connection is about to run a statement.
    void announceStatement(const QObject *runner) { Q_EMIT statementStarting(runner); }

Q_SIGNALS:
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
    // While a statement runs or waits for another program's lock, the
    // windows are kept alive (keepalive.h). The wait for a lock ends after
    // kBusyTimeoutMs, as the engine's own busy timeout would.
    void watchStatements();
    static int busyWait(void *connection, int count);
    void openSqlite(const QString &fileName);
    void openAccess(const QString &fileName);
    // A PostgreSQL server named by a URI (postgresql://...); see db/postgres/pgconninfo.h.
    void openPostgres(const QString &uri);

    QString m_connectionString;
    QString m_qtName;
    bool m_connected = false;
    // The engine's handle while connected on SQLite.
    sqlite3 *m_sqlite = nullptr;
    Engine m_engine = Engine::Sqlite;
    // False only for an Access file opened through ODBC (Windows).
    bool m_accessOnSqlite = true;
    QString m_accessFile;
    QElapsedTimer m_busySince;
    bool m_idleWatched = false;
};

} // namespace rux
