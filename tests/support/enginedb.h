#pragma once

// Test helper: a fresh database of one engine for one data row. The tests of
// the database objects and of the table editor are written once and carry
// the engine in a column of their data: an SQLite file in a folder of its
// own, a schema of its own on the PostgreSQL server of the run, or
// (read-only) an Access fixture file.
// The helper runs and reads SQL behind the back of the objects under test,
// as another program would.

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/connectionstring.h"
#include "db/dataset.h"
#include "tests/support/otherconnection.h"
#include "tests/support/pgfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace rux::test {

enum class Engine { Sqlite, Postgres, Access };

inline QString engineName(Engine engine)
{
    static const char *const names[] = {"sqlite", "postgres", "access"};
    return QString::fromLatin1(names[int(engine)]);
}

// The engines every behaviour of the database objects is tried on.
inline constexpr Engine kBothEngines[] = {Engine::Sqlite, Engine::Postgres};

// A data row named "<engine>/<name>" whose first column is the engine.
inline QTestData &engineRow(Engine engine, const QString &name)
{
    return QTest::newRow(qPrintable(engineName(engine) + u'/' + name)) << engine;
}

// The same data in a row for each engine, each named "<engine>/<name>".
class EngineRows
{
public:
    explicit EngineRows(const QString &name)
    {
        for (Engine e : kBothEngines)
            m_rows.append(&engineRow(e, name));
    }
    template <typename T>
    EngineRows &operator<<(const T &value)
    {
        for (QTestData *row : m_rows)
            *row << value;
        return *this;
    }
    EngineRows &operator<<(const char *value) { return *this << QString::fromUtf8(value); }

private:
    QList<QTestData *> m_rows;
};

inline EngineRows bothRows(const QString &name)
{
    return EngineRows(name);
}

inline void addEngineColumn()
{
    QTest::addColumn<Engine>("engine");
}

// The data of a test that needs nothing but the engine: a row per engine.
inline void rowPerEngine()
{
    addEngineColumn();
    for (Engine e : kBothEngines)
        engineRow(e, QStringLiteral("db"));
}

// The Access fixture files of the shared test material.
inline QString accessFixture(const QString &name)
{
    return QDir(QStringLiteral(RUX_SHARED_DIR "/fixtures")).filePath(name);
}

// Why a row of `engine` cannot run here; empty when it can.
inline QString engineMissing(Engine engine)
{
    if (engine == Engine::Postgres)
        return pgServerMissing();
    if (throughPooler())
        return QStringLiteral("a run through the pooler tries the server's rows only");
    if (engine == Engine::Access && !QFileInfo(accessFixture(QStringLiteral("nwind.mdb"))).isFile())
        return QStringLiteral("the shared fixtures (" RUX_SHARED_DIR "/fixtures) are absent");
    return QString();
}

// In a test function: skips the row when its engine is not at hand, fails
// it when a PostgreSQL server should have been started for the run.
#define RUX_NEED_ENGINE(engine)                                                                    \
    do {                                                                                           \
        const QString missing_ = rux::test::engineMissing(engine);                                 \
        if (!missing_.isEmpty()) {                                                                 \
            if ((engine) == rux::test::Engine::Postgres && rux::test::pgServerRequired())          \
                QFAIL(qPrintable("RUX_PG_REQUIRED is set, but " + missing_));                      \
            QSKIP(qPrintable(missing_));                                                           \
        }                                                                                          \
    } while (false)

// In a test function: the row's engine, skipped when not at hand; then
// `setUp(engine)` must make its database.
#define RUX_ENGINE_ROW(setUp)                                                                      \
    QFETCH(rux::test::Engine, engine);                                                             \
    RUX_NEED_ENGINE(engine);                                                                       \
    QVERIFY(setUp(engine))

// The rows 1..n in a column named n, in the engine's dialect.
inline QString seriesSql(Engine engine, int n)
{
    if (engine == Engine::Postgres)
        return QStringLiteral("select n from generate_series(1, %1) n").arg(n);
    return QStringLiteral("with recursive c(n) as (select 1 union all select n + 1 from c where n < %1) "
                          "select n from c")
        .arg(n);
}

class EngineDb
{
public:
    // A fresh, empty database (Access: the fixture file nwind.mdb).
    explicit EngineDb(Engine engine)
        : m_engine(engine)
    {
        switch (engine) {
        case Engine::Sqlite:
            // A database file with its header written, as the engine makes it.
            m_dataSource = m_dir.filePath(QStringLiteral("engine.db"));
            runSql(m_dataSource, {QStringLiteral("pragma user_version = 1")});
            break;
        case Engine::Postgres:
            m_schema = std::make_unique<PgSchema>(QStringLiteral("dbobjects"));
            m_error = m_schema->error();
            m_dataSource = m_schema->uri();
            break;
        case Engine::Access:
            m_dataSource = accessFixture(QStringLiteral("nwind.mdb"));
            break;
        }
    }

    Engine engine() const { return m_engine; }
    // Empty when the database was made.
    QString error() const { return m_error; }
    QString connectionString() const { return rux::buildConnectionString(m_dataSource); }
    // The database as the program names it: the file, or the server's URI.
    QString dataSource() const { return m_dataSource; }
    // The PostgreSQL schema of the database (empty for the file engines).
    QString schema() const { return m_schema ? m_schema->name() : QString(); }
    // A folder that lives as long as the database.
    QString folder() const { return m_dir.path(); }

    // Runs the statements on a connection of its own; false (and the
    // reason in lastError()) when one fails.
    bool run(const QStringList &statements)
    {
        if (m_engine == Engine::Access)
            m_lastError = statements.isEmpty() ? QString() : QStringLiteral("the Access fixture files are only read");
        else
            m_lastError = OtherConnection(m_dataSource).run(statements);
        return m_lastError.isEmpty();
    }
    QString lastError() const { return m_lastError; }

    // The first column of the one row of `sql`, read on a connection of its
    // own, as text (SQLite and PostgreSQL).
    QString value(const QString &sql) { return sqlValue(m_dataSource, sql).toString(); }

private:
    Engine m_engine;
    QTemporaryDir m_dir;
    std::unique_ptr<PgSchema> m_schema;
    QString m_dataSource;
    QString m_error;
    QString m_lastError;
};

// The database of a data row, filled by `schema`, and a connection to it
// that has not opened yet.
class EngineFixture
{
protected:
    std::unique_ptr<EngineDb> m_db;
    std::unique_ptr<rux::AdoConnection> m_con;

    bool openEngine(Engine engine, const QStringList &schema)
    {
        m_db = std::make_unique<EngineDb>(engine);
        const QString failed = !m_db->error().isEmpty() ? m_db->error()
            : m_db->run(schema)                         ? QString()
                                                        : m_db->lastError();
        if (!failed.isEmpty()) {
            qWarning("%s", qPrintable(failed));
            return false;
        }
        m_con = std::make_unique<rux::AdoConnection>(QStringLiteral("access_con"));
        m_con->setConnectionString(m_db->connectionString());
        return true;
    }

    void closeEngine()
    {
        m_con.reset();
        m_db.reset();
    }
};

// Every row of the query's result through its cursor, fields joined by "|",
// rows by "/".
inline QString readAll(rux::AdoQuery &q)
{
    QStringList rows;
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList fields;
        for (int f = 1; f <= q.fieldCount(); ++f)
            fields.append(q.asString(f));
        rows.append(fields.join(u'|'));
    }
    return rows.join(u'/');
}

// The texts a grid shows of one cached row.
inline QStringList shownRow(const rux::DataSet &set, int row)
{
    QStringList out;
    for (int c = 0; c < set.columnCount(); ++c)
        out << set.displayText(row, c);
    return out;
}

inline void fetchAll(rux::DataSet &set)
{
    while (set.canFetchMore())
        set.fetchMore(256);
}

} // namespace rux::test

Q_DECLARE_METATYPE(rux::test::Engine)
