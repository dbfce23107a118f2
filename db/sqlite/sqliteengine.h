#pragma once

#include "db/engine.h"

#include <QElapsedTimer>
#include <QString>

#include <atomic>

class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

namespace rux {

// A database file of the embedded engine, SQLite. The file must exist and
// be an SQLite database; it is opened read-write (read-only when the file
// is write-protected), never created, with a wait for another program's
// lock as long as kBusyTimeoutMs, during which the windows are kept alive.
// Statements run through Qt's driver, connection `qtName`; rows after the
// first are stepped from the engine's statement itself.
class SqliteEngine : public DatabaseEngine
{
public:
    SqliteEngine(const QString &fileName, const QString &qtName);
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

    sqlite3 *handle() const { return m_handle; }

protected:
    // For an engine that fills a database of its own (an imported file):
    // the connection is opened on `databaseName` as the driver takes it,
    // and the caller fills it. Failures name `shownName`.
    struct OwnDatabase {};
    SqliteEngine(OwnDatabase, const QString &databaseName, const QString &shownName, const QString &qtName);
    // Gives up the connection; the engine is unusable afterwards.
    void discard();

private:
    void attach(const QString &shownName);
    // When `prepared` is given, the first statement's engine statement is
    // handed over to the caller, who finalizes it.
    QString checkSingleStatement(const QString &text, sqlite3_stmt **prepared) const;
    std::unique_ptr<QSqlQuery> change(const QString &sql, const QVector<QVariant> &binds);
    static int busyWait(void *engine, int count);
    static int progress(void *engine);
    // A statement of the engine's starts: an interruption asked for before
    // it concerns the one before.
    void statementStarts() { m_interrupted.store(false); }

    QString m_qtName;
    sqlite3 *m_handle = nullptr;
    QElapsedTimer m_busySince;
    // Asked to stop the statement that runs: the progress handler ends it,
    // and a wait for a lock gives up.
    std::atomic<bool> m_interrupted{false};
};

} // namespace rux
