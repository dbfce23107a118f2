#pragma once

#include "db/engine.h"

#include <QElapsedTimer>
#include <QString>

#include <atomic>

struct sqlite3;
struct sqlite3_stmt;

namespace rux {

// A database file of the embedded engine, SQLite. The file must exist and
// be an SQLite database; it is opened read-write (read-only when the file
// is write-protected), never created, with a wait for another program's
// lock as long as kBusyTimeoutMs, during which the windows are kept alive.
// Every statement is prepared once, on the engine's library directly, and
// its rows are stepped from it.
class SqliteEngine : public DatabaseEngine
{
public:
    explicit SqliteEngine(const QString &fileName);
    ~SqliteEngine() override;

    EngineKind kind() const override { return EngineKind::Sqlite; }
    std::unique_ptr<EngineResult> run(const QString &commandText, bool wantRows,
                                      qint64 *rowsAffected) override;
    QVector<QVector<QVariant>> read(const QString &sql, const QVector<QVariant> &binds,
                                    ResultColumns *columns = nullptr) override;
    qint64 write(const QString &sql, const QVector<QVariant> &binds) override;
    InsertedRow insert(const QString &insertSql, const QVector<QVariant> &binds,
                       const QStringList &keySql) override;
    TableInfo tableInfo(const QString &schema, const QString &table) override;
    QString writeMark(int) const override { return QStringLiteral("?"); }
    // "IS" is the engine's null-safe comparison.
    QString keyComparison() const override { return QStringLiteral(" IS "); }
    bool typedBooleans() const override { return false; }
    bool oneReadAtATime() const override { return false; }
    void runControl(const QString &statement) override;
    // SQLite's deferred BEGIN takes the write lock at the first change, and
    // fails there at once when a reading transaction meets another writer.
    void beginWriting() override { runControl(QStringLiteral("BEGIN IMMEDIATE")); }
    bool inTransaction() const override;
    void interrupt() override { m_interrupted.store(true); }

protected:
    // For an engine that fills a database of its own (an imported file):
    // the connection is opened on the file `databaseName` (":memory:" for a
    // database in memory), made when missing, and the caller fills it.
    // Failures name `shownName`.
    struct OwnDatabase {};
    SqliteEngine(OwnDatabase, const QString &databaseName, const QString &shownName);
    sqlite3 *handle() const { return m_handle; }
    // Gives up the connection; the engine is unusable afterwards.
    void discard();

private:
    void open(const QString &fileName, int flags, const QString &shownName);
    // The one statement of a command text, prepared; refused as run()
    // tells when the text holds more or a parameter.
    sqlite3_stmt *checkSingleStatement(const QString &text) const;
    // A statement of the program's own, prepared with `binds` bound in
    // order to its marks. Throws the engine's text.
    sqlite3_stmt *prepareBound(const QString &sql, const QVector<QVariant> &binds) const;
    // Runs a data change of an edit, refused with readOnlyText() when the
    // engine takes none.
    void change(const QString &sql, const QVector<QVariant> &binds);
    static int busyWait(void *engine, int count);
    static int progress(void *engine);
    // A statement of the engine's starts: an interruption asked for before
    // it concerns the one before.
    void statementStarts() { m_interrupted.store(false); }

    sqlite3 *m_handle = nullptr;
    QElapsedTimer m_busySince;
    // Asked to stop the statement that runs: the progress handler ends it,
    // and a wait for a lock gives up.
    std::atomic<bool> m_interrupted{false};
};

} // namespace rux
