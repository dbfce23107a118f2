#include "db/sqlite/sqliteengine.h"

#include "db/databasefile.h"
#include "db/keepalive.h"
#include "db/sqlite/sqlitecursor.h"
#include "db/sqlite/sqltext.h"
#include "db/tablename.h"
#include "db/valuetext.h"
#include "script/failure.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUrl>

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace rux {

namespace {

// An SQLite URI that opens an existing file read-write and never creates
// one. Every character outside the unreserved set is percent-encoded, so
// blanks, "?", "#", "%" and ";" in a path are taken literally.
QString sqliteUri(const QString &absolutePath)
{
    return QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(absolutePath, "/"))
        + QStringLiteral("?mode=rw");
}

QString errorText(const QSqlError &error)
{
    const QString text = error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

[[noreturn]] void fail(const QSqlQuery &query)
{
    throw Failure(errorText(query.lastError()));
}

sqlite3_stmt *statementOf(const QSqlQuery &query)
{
    if (!query.result())
        return nullptr;
    const QVariant handle = query.result()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0)
        return nullptr;
    return *static_cast<sqlite3_stmt *const *>(handle.constData());
}

using StatementOwner = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

// The columns of an executed query: their names, and yes/no and exact
// decimal text by the type the table declares for them.
ResultColumns columnsOf(const QSqlQuery &query)
{
    ResultColumns columns;
    const QSqlRecord record = query.record();
    sqlite3_stmt *stmt = statementOf(query);
    for (int i = 0; i < record.count(); ++i) {
        columns.names.append(record.fieldName(i));
        const char *declared = stmt ? sqlite3_column_decltype(stmt, i) : nullptr;
        columns.yesNo.append(declared && isYesNoType(QString::fromUtf8(declared)));
        columns.decimal.append(declared && isDecimalTextType(QString::fromUtf8(declared)));
    }
    return columns;
}

void bindAll(QSqlQuery &query, const QVector<QVariant> &binds)
{
    for (const QVariant &b : binds)
        query.addBindValue(b);
    if (!query.exec())
        fail(query);
}

// The rows of a statement of a script. The driver runs the statement and
// hands out its first row; every later row is stepped from the engine's
// statement directly (SqliteCursor), which skips the driver's per-row
// value cache.
class SqliteResult : public EngineResult
{
public:
    SqliteResult(sqlite3 *db, const QString &qtName, const QString &statement,
                 std::unique_ptr<QSqlQuery> query)
        : m_db(db), m_qtName(qtName), m_statement(statement), m_query(std::move(query))
    {
        m_columns = columnsOf(*m_query);
    }
    ~SqliteResult() override { m_query->finish(); }

    bool next() override
    {
        if (m_direct && m_started)
            return m_direct->step();
        m_started = true;
        if (!m_query->next()) {
            if (m_query->lastError().isValid())
                fail(*m_query);
            return false;
        }
        attachDirect();
        return true;
    }

    QVariant value(int column) const override
    {
        return m_direct ? m_direct->value(column) : m_query->value(column);
    }

    void appendAnsi(int column, QChar decimalPoint, QByteArray &out) const override
    {
        // Exact decimal text takes the user's decimal point, as the grid
        // shows it.
        if (m_direct && !(m_columns.decimal.value(column) && decimalPoint != u'.'))
            m_direct->appendAnsiText(column, m_columns.yesNo.value(column), decimalPoint, out);
        else
            EngineResult::appendAnsi(column, decimalPoint, out);
    }

    // A statement stepped part-way holds a read open on the file, and the
    // engine refuses to drop any table while one is. Resetting it gives
    // the read up.
    bool pause() override
    {
        m_query->finish();
        return true;
    }

    // On a query object of its own: the driver's re-execution of a query
    // keeps what it knew of the old result's columns, and after a schema
    // change (a column added to the table) it then writes past them and
    // corrupts memory.
    qint64 restart(qint64) override
    {
        auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_qtName, false));
        query->setForwardOnly(true);
        if (!query->exec(m_statement))
            fail(*query);
        m_direct.reset();
        m_query->finish();
        m_query = std::move(query);
        m_started = false;
        return -1;
    }

    qint64 rerun() override { return restart(0); }

    ResultOrigin origin() override
    {
        ResultOrigin origin;
        sqlite3_stmt *stmt = statementOf(*m_query);
        if (!stmt)
            return origin;
        for (int i = 0; i < m_columns.names.size(); ++i) {
            const char *schema = sqlite3_column_database_name(stmt, i);
            const char *table = sqlite3_column_table_name(stmt, i);
            const char *column = sqlite3_column_origin_name(stmt, i);
            if (!schema || !table || !column)
                return origin;
            const QString s = QString::fromUtf8(schema);
            const QString t = QString::fromUtf8(table);
            if (i == 0) {
                origin.schema = s;
                origin.table = t;
            } else if (s != origin.schema || t != origin.table) {
                return origin;
            }
            origin.columns.append(QString::fromUtf8(column));
        }
        origin.valid = !m_columns.names.isEmpty();
        return origin;
    }

private:
    // Rows after the first are stepped from the statement itself, when the
    // driver exposes it and it still yields every column the result knows.
    void attachDirect()
    {
        sqlite3_stmt *stmt = statementOf(*m_query);
        if (stmt && sqlite3_column_count(stmt) >= m_columns.names.size())
            m_direct = std::make_unique<SqliteCursor>(m_db, stmt);
    }

    sqlite3 *m_db;
    QString m_qtName;
    QString m_statement;
    std::unique_ptr<QSqlQuery> m_query;
    std::unique_ptr<SqliteCursor> m_direct;
    bool m_started = false;
};

QString statementTail(const char16_t *begin, const void *tail)
{
    const auto *end = static_cast<const char16_t *>(tail);
    return QString(reinterpret_cast<const QChar *>(begin), end - begin);
}

} // namespace

SqliteEngine::SqliteEngine(const QString &fileName, const QString &qtName) : m_qtName(qtName)
{
    if (!isSqliteHead(readDatabaseHead(fileName)))
        throw Failure(unrecognizedFormatText(fileName));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
    db.setDatabaseName(sqliteUri(QFileInfo(fileName).absoluteFilePath()));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    attach(fileName);
}

SqliteEngine::SqliteEngine(OwnDatabase, const QString &databaseName, const QString &shownName,
                           const QString &qtName)
    : m_qtName(qtName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
    db.setDatabaseName(databaseName);
    attach(shownName);
}

// Opens the connection set up by the constructor and proves the file is a
// database the engine can use: a damaged or encrypted file fails here, not
// in a script.
void SqliteEngine::attach(const QString &shownName)
{
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::database(m_qtName, false);
        if (!db.open()) {
            failure = db.lastError().databaseText();
        } else {
            m_handle = *static_cast<sqlite3 *const *>(db.driver()->handle().data());
            // Scripts come from files; extensions are never loaded from them.
            sqlite3_db_config(m_handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
            QSqlQuery probe(db);
            if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                failure = probe.lastError().databaseText();
        }
    }
    if (!failure.isEmpty()) {
        discard();
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(shownName, failure));
    }
    // Every few thousand engine steps the windows are kept alive: a single
    // step may run for long (a large update, a sort). The same handler ends
    // a statement that is to stop: it is the engine's own way to cancel a
    // statement. sqlite3_interrupt() is not used: it ends every statement
    // started until none of the connection's statements runs any more, so
    // with a result left part-way it would end the rollback that follows
    // a stop as well.
    sqlite3_progress_handler(m_handle, 4000, &SqliteEngine::progress, this);
    // Takes the place of the busy timeout the driver set: the same wait,
    // with the windows kept alive in between.
    sqlite3_busy_handler(m_handle, &SqliteEngine::busyWait, this);
}

SqliteEngine::~SqliteEngine()
{
    discard();
}

void SqliteEngine::discard()
{
    if (m_qtName.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_qtName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_qtName);
    m_qtName.clear();
    m_handle = nullptr;
}

int SqliteEngine::progress(void *engine)
{
    keepalive::tick();
    return static_cast<SqliteEngine *>(engine)->m_interrupted.load() ? 1 : 0;
}

int SqliteEngine::busyWait(void *engine, int count)
{
    auto *self = static_cast<SqliteEngine *>(engine);
    if (count == 0)
        self->m_busySince.start();
    const qint64 waited = self->m_busySince.elapsed();
    if (waited >= kBusyTimeoutMs || self->m_interrupted.load())
        return 0;
    // Short sleeps first, as the engine's own timeout has them: most locks
    // are held for a moment only.
    static constexpr int kDelaysMs[] = {1, 2, 5, 10, 15, 20};
    constexpr int kSteps = int(sizeof(kDelaysMs) / sizeof(kDelaysMs[0]));
    const qint64 delay = qMin<qint64>(kDelaysMs[qMin(count, kSteps - 1)], kBusyTimeoutMs - waited);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    keepalive::check();
    return self->m_interrupted.load() ? 0 : 1;
}

// The engine itself tells where the first statement ends. What follows it
// must hold no further statement: Qt would otherwise refuse it with its own
// wording. A statement that still holds a parameter would be bound to
// NULL; it fails instead, since this tool never supplies parameter values.
QString SqliteEngine::checkSingleStatement(const QString &text, sqlite3_stmt **prepared) const
{
    const auto *begin = reinterpret_cast<const char16_t *>(text.utf16());
    const int bytes = int(text.size() * sizeof(char16_t));
    sqlite3_stmt *stmt = nullptr;
    const void *tail = nullptr;
    if (sqlite3_prepare16_v2(m_handle, begin, bytes, &stmt, &tail) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_handle));
        sqlite3_finalize(stmt);
        throw Failure(message);
    }
    if (!stmt)
        throw Failure(kNoStatementText);
    // Finalized here unless the caller takes it, also when the rest fails.
    StatementOwner first(stmt, sqlite3_finalize);
    if (!sqlite3_stmt_readonly(stmt) && !readOnlyText().isEmpty())
        throw Failure(readOnlyText());
    if (sqlite3_bind_parameter_count(stmt) > 0)
        throw Failure(kNoValueText);
    const QString firstStatement = statementTail(begin, tail);

    // Whatever follows may be blanks, comments and empty statements only.
    if (furtherStatement(m_handle, static_cast<const char16_t *>(tail), begin + text.size()))
        throw Failure(kAfterEndText);
    if (prepared)
        *prepared = first.release();
    return firstStatement;
}

std::unique_ptr<EngineResult> SqliteEngine::run(const QString &commandText, bool wantRows,
                                                qint64 *rowsAffected)
{
    *rowsAffected = -1;
    statementStarts();
    // The tool's marks become "?", which the check below finds unbound.
    const QString text = rewriteParameterMarks(commandText).text;
    sqlite3_stmt *checked = nullptr;
    const QString first = checkSingleStatement(text, &checked);
    StatementOwner owner(checked, sqlite3_finalize);
    // A statement without result columns (a data change, a table created)
    // runs on the statement the check prepared, instead of being prepared
    // a second time by the driver.
    if (sqlite3_column_count(checked) == 0) {
        const sqlite3_int64 before = sqlite3_total_changes64(m_handle);
        SqliteCursor run(m_handle, checked);
        while (run.step()) {
        }
        // The engine's count is that of its last insert, update or delete:
        // one that changed nothing (a table created) keeps the count of an
        // earlier one.
        *rowsAffected = sqlite3_total_changes64(m_handle) == before ? 0 : sqlite3_changes64(m_handle);
        return nullptr;
    }
    owner.reset();
    auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_qtName, false));
    query->setForwardOnly(true);
    if (!query->exec(first))
        fail(*query);
    if (!query->isSelect()) {
        *rowsAffected = query->numRowsAffected();
        return nullptr;
    }
    if (!wantRows)
        return nullptr;
    return std::make_unique<SqliteResult>(m_handle, m_qtName, first, std::move(query));
}

QVector<QVector<QVariant>> SqliteEngine::read(const QString &sql, const QVector<QVariant> &binds,
                                              ResultColumns *columns)
{
    statementStarts();
    QSqlQuery q(QSqlDatabase::database(m_qtName, false));
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        fail(q);
    bindAll(q, binds);
    const int count = q.record().count();
    if (columns)
        *columns = columnsOf(q);
    QVector<QVector<QVariant>> rows;
    while (q.next()) {
        QVector<QVariant> row;
        row.reserve(count);
        for (int i = 0; i < count; ++i)
            row.append(q.value(i));
        rows.append(std::move(row));
    }
    if (q.lastError().isValid())
        fail(q);
    // Read to its end, the statement has let its read lock go already;
    // finishing it leaves nothing open on the connection.
    q.finish();
    return rows;
}

// A data change of an edit, refused with the engine's text when it takes
// none; the query that ran it, for its counts.
std::unique_ptr<QSqlQuery> SqliteEngine::change(const QString &sql, const QVector<QVariant> &binds)
{
    if (!readOnlyText().isEmpty())
        throw Failure(readOnlyText());
    statementStarts();
    auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_qtName, false));
    if (!q->prepare(sql))
        fail(*q);
    bindAll(*q, binds);
    return q;
}

qint64 SqliteEngine::write(const QString &sql, const QVector<QVariant> &binds)
{
    return change(sql, binds)->numRowsAffected();
}

InsertedRow SqliteEngine::insert(const QString &insertSql, const QVector<QVariant> &binds, const QStringList &)
{
    InsertedRow row;
    row.rowid = change(insertSql, binds)->lastInsertId();
    return row;
}

TableInfo SqliteEngine::tableInfo(const QString &schema, const QString &table)
{
    statementStarts();
    TableInfo info;
    const QSqlDatabase db = QSqlDatabase::database(m_qtName, false);
    QSqlQuery q(db);
    const QString prefix = schema.isEmpty() ? QString() : quoteIdentifier(schema) + u'.';
    // The extended list names generated columns as well; the hidden
    // columns of virtual tables are left out, as "SELECT *" leaves them.
    if (!q.exec(QStringLiteral("PRAGMA %1table_xinfo(%2)").arg(prefix, quoteIdentifier(table))))
        fail(q);
    QMap<int, QString> keys;
    while (q.next()) {
        if (q.value(6).toInt() == 1)
            continue;
        info.columns.append(q.value(1).toString());
        const int pk = q.value(5).toInt();
        if (pk > 0)
            keys.insert(pk, q.value(1).toString());
    }
    info.primaryKey = keys.values();

    QSqlQuery type(db);
    type.prepare(QStringLiteral("SELECT type FROM %1sqlite_master WHERE name = ? COLLATE NOCASE").arg(prefix));
    type.addBindValue(table);
    if (type.exec() && type.next())
        info.isView = type.value(0).toString() == QLatin1String("view");

    QSqlQuery rowid(db);
    info.hasRowid = !info.isView
        && rowid.exec(QStringLiteral("SELECT rowid FROM %1%2 LIMIT 0").arg(prefix, quoteIdentifier(table)));
    return info;
}

void SqliteEngine::runControl(const QString &statement)
{
    statementStarts();
    if (sqlite3_exec(m_handle, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Failure(QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

bool SqliteEngine::inTransaction() const
{
    return sqlite3_get_autocommit(m_handle) == 0;
}

} // namespace rux
