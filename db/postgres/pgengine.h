#pragma once

#include "db/engine.h"

#include <memory>

struct pg_conn;

namespace rux {

namespace pg {
class Session;
}

// A PostgreSQL server, named by a libpq URI, reached through libpq: one
// round trip per statement, rows streamed (PostgresResult), and every wait
// on the server spent keeping the windows alive. Nothing the program relies
// on outlives a transaction on the server (no cursor, prepared statement,
// setting or temporary object of a session's own), so that it works behind
// a pooler that hands each transaction to another server session.
class PostgresEngine : public DatabaseEngine
{
public:
    // Fails with "Could not open '<uri, password masked>': <why>".
    explicit PostgresEngine(const QString &uri);
    ~PostgresEngine() override;
    PostgresEngine(const PostgresEngine &) = delete;
    PostgresEngine &operator=(const PostgresEngine &) = delete;

    EngineKind kind() const override { return EngineKind::Postgres; }

    std::unique_ptr<EngineResult> run(const QString &commandText, bool wantRows,
                                      qint64 *rowsAffected) override;
    QVector<QVector<QVariant>> read(const QString &sql, const QVector<QVariant> &binds,
                                    ResultColumns *columns = nullptr) override;
    qint64 write(const QString &sql, const QVector<QVariant> &binds) override;
    InsertedRow insert(const QString &insertSql, const QVector<QVariant> &binds,
                       const QStringList &keySql) override;
    TableInfo tableInfo(const QString &schema, const QString &table) override;

    QString writeMark(int n) const override;
    QString keyComparison() const override { return QStringLiteral(" = "); }
    bool typedBooleans() const override { return true; }
    QString locationColumn() const override { return QStringLiteral("ctid"); }
    bool oneReadAtATime() const override { return true; }

    void runControl(const QString &statement) override;
    bool inTransaction() const override;
    // A cancel request to the server, which ends the command with a
    // failure; from any thread. A server that has not answered it after
    // pg::kCancelGraceSeconds loses the connection (pg::Session).
    void interrupt() override;

    // libpq's connection, for libpq's own calls on it (a trace).
    pg_conn *connection() const { return m_conn; }

private:
    pg_conn *m_conn = nullptr; // closed by the engine; the session forgets it first
    std::shared_ptr<pg::Session> m_session;
};

} // namespace rux
