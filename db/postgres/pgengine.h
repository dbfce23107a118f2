#pragma once

#include "db/engine.h"

#include <memory>

namespace rux {

namespace pg {
class Session;
}

// A PostgreSQL server, named by a libpq URI. The connection is opened
// through Qt's driver (QPSQL), under `qtName` among Qt's connections, so
// that QSqlDatabase::database(qtName) reaches it; every statement goes to
// libpq directly, on the driver's own connection: one round trip each, rows
// streamed or held by the server (PostgresResult), and every wait on the
// server spent keeping the windows alive.
class PostgresEngine : public DatabaseEngine
{
public:
    // Fails with "Could not open '<uri, password masked>': <why>".
    PostgresEngine(const QString &uri, const QString &qtName);
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

private:
    QString m_qtName;
    std::shared_ptr<pg::Session> m_session;
};

} // namespace rux
