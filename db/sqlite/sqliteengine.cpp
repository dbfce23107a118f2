#include "db/sqlite/sqliteengine.h"

#include "db/databasefile.h"
#include "db/keepalive.h"
#include "db/sqlite/sqlitecursor.h"
#include "db/sqlite/sqltext.h"
#include "db/tablename.h"
#include "db/valuetext.h"
#include "base/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <sqlite3.h>

#include <chrono>
#include <optional>
#include <thread>

namespace rux {

namespace {

// Finalizes the statement it holds, also when a failure leaves the scope.
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

Statement owned(sqlite3_stmt *statement)
{
    return Statement(statement, sqlite3_finalize);
}

[[noreturn]] void failWith(sqlite3 *db)
{
    throw Failure(QString::fromUtf8(sqlite3_errmsg(db)));
}

// The first statement of `text`, prepared (null when the text holds none);
// `tail`, when given, gets where it ends. Throws the engine's text.
Statement prepareFirst(sqlite3 *db, const QString &text, const void **tail = nullptr)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare16_v2(db, text.utf16(), int(text.size() * sizeof(char16_t)), &stmt, tail) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        throw Failure(message);
    }
    return owned(stmt);
}

// The columns of a prepared statement: their names, and yes/no and exact
// decimal text by the type the table declares for them. A name shows
// without double quotes, as it always has: `SELECT "x"` is headed x.
ResultColumns columnsOf(sqlite3_stmt *statement)
{
    ResultColumns columns;
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const auto *name = static_cast<const char16_t *>(sqlite3_column_name16(statement, i));
        columns.names.append(QString::fromUtf16(name).remove(u'"'));
        const char *declared = sqlite3_column_decltype(statement, i);
        columns.yesNo.append(declared && isYesNoType(QString::fromUtf8(declared)));
        columns.decimal.append(declared && isDecimalTextType(QString::fromUtf8(declared)));
    }
    return columns;
}

// Binds a value as the program has always bound it: a null value (a null
// text too) as NULL, whole numbers and yes/no as integers, a double as a
// real, bytes as a blob, anything else as its text.
int bindValue(sqlite3_stmt *statement, int index, const QVariant &value)
{
    if (value.isNull())
        return sqlite3_bind_null(statement, index);
    switch (value.typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isNull())
            return sqlite3_bind_null(statement, index);
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(statement, index, value.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    default: {
        const QString text = value.toString();
        if (text.isNull() && value.typeId() == QMetaType::QString)
            return sqlite3_bind_null(statement, index);
        return sqlite3_bind_text16(statement, index, text.utf16(), int(text.size() * sizeof(char16_t)),
                                   SQLITE_TRANSIENT);
    }
    }
}

// The rows of a statement of a script, stepped from the statement the
// check prepared. Its first row is stepped when it runs, so that a failure
// there is the statement's failure.
class SqliteResult : public EngineResult
{
public:
    SqliteResult(sqlite3 *db, Statement statement) : m_statement(std::move(statement)), m_cursor(db, m_statement.get())
    {
        m_columns = columnsOf(m_statement.get());
        stepFirst();
    }

    bool next() override
    {
        if (m_firstPending) {
            m_firstPending = false;
            return m_hasRow;
        }
        if (!m_hasRow)
            return false;
        m_hasRow = m_cursor.step();
        return m_hasRow;
    }

    QVariant value(int column) const override { return m_cursor.value(column); }

    void appendAnsi(int column, QChar decimalPoint, QByteArray &out) const override
    {
        // Exact decimal text takes the user's decimal point, as the grid
        // shows it.
        if (m_columns.decimal.value(column) && decimalPoint != u'.')
            EngineResult::appendAnsi(column, decimalPoint, out);
        else
            m_cursor.appendAnsiText(column, m_columns.yesNo.value(column), decimalPoint, out);
    }

    // A statement stepped part-way holds a read open on the file, and the
    // engine refuses to drop any table while one is. Resetting it gives
    // the read up.
    bool pause() override
    {
        sqlite3_reset(m_statement.get());
        m_firstPending = false;
        m_hasRow = false;
        return true;
    }

    // The statement runs again from its first row. The engine prepares it
    // anew by itself when the schema has changed meanwhile; the columns
    // stay those the result was opened with.
    qint64 restart(qint64) override
    {
        sqlite3_reset(m_statement.get());
        stepFirst();
        return -1;
    }

    qint64 rerun() override { return restart(0); }

    ResultOrigin origin() override
    {
        ResultOrigin origin;
        sqlite3_stmt *stmt = m_statement.get();
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
    void stepFirst()
    {
        m_firstPending = false;
        m_hasRow = false;
        m_hasRow = m_cursor.step();
        m_firstPending = true;
    }

    Statement m_statement;
    SqliteCursor m_cursor;
    // The row stepped when the statement ran is still to be handed out.
    bool m_firstPending = false;
    // The statement stands on a row (false at the end, when it is reset).
    bool m_hasRow = false;
};

} // namespace

SqliteEngine::SqliteEngine(const QString &fileName)
{
    if (!isSqliteHead(readDatabaseHead(fileName)))
        throw Failure(unrecognizedFormatText(fileName));
    // The absolute path: a name is never taken for a URI, and the file is
    // opened read-write (read-only when it is write-protected), never made.
    open(QFileInfo(fileName).absoluteFilePath(), SQLITE_OPEN_READWRITE, fileName);
}

SqliteEngine::SqliteEngine(OwnDatabase, const QString &databaseName, const QString &shownName)
{
    open(databaseName, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, shownName);
}

// Opens the connection and proves the file is a database the engine can
// use: a damaged or encrypted file fails here, not in a script.
void SqliteEngine::open(const QString &fileName, int flags, const QString &shownName)
{
    // Only this thread uses the connection; a stop asked for from another
    // thread only sets a flag (interrupt()).
    const int rc = sqlite3_open_v2(QFile::encodeName(fileName).constData(), &m_handle,
                                   flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE, nullptr);
    QString failure;
    if (rc != SQLITE_OK) {
        failure = m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle)) : QString::fromUtf8(sqlite3_errstr(rc));
    } else {
        // Scripts come from files; extensions are never loaded from them.
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        // Every few thousand engine steps the windows are kept alive: a
        // single step may run for long (a large update, a sort). The same
        // handler ends a statement that is to stop: it is the engine's own
        // way to cancel a statement. sqlite3_interrupt() is not used: it
        // ends every statement started until none of the connection's
        // statements runs any more, so with a result left part-way it would
        // end the rollback that follows a stop as well.
        sqlite3_progress_handler(m_handle, 4000, &SqliteEngine::progress, this);
        // A lock another program holds is waited for as long as
        // kBusyTimeoutMs, with the windows kept alive in between; the first
        // read below waits so too, while another program commits.
        sqlite3_busy_handler(m_handle, &SqliteEngine::busyWait, this);
        if (sqlite3_exec(m_handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
            failure = QString::fromUtf8(sqlite3_errmsg(m_handle));
    }
    if (!failure.isEmpty()) {
        discard();
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(shownName, failure));
    }
}

SqliteEngine::~SqliteEngine()
{
    discard();
}

void SqliteEngine::discard()
{
    if (!m_handle)
        return;
    // A result still open keeps the connection until it is finalized; the
    // engine's callbacks go now, with the engine.
    sqlite3_progress_handler(m_handle, 0, nullptr, nullptr);
    sqlite3_busy_handler(m_handle, nullptr, nullptr);
    sqlite3_close_v2(m_handle);
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
// must hold no further statement. A statement that still holds a
// parameter would be bound to NULL; it fails instead, since this tool
// never supplies parameter values.
sqlite3_stmt *SqliteEngine::checkSingleStatement(const QString &text) const
{
    const void *tail = nullptr;
    // Finalized here unless the caller takes it, also when the rest fails.
    Statement first = prepareFirst(m_handle, text, &tail);
    sqlite3_stmt *stmt = first.get();
    if (!stmt)
        throw Failure(kNoStatementText);
    if (!sqlite3_stmt_readonly(stmt) && !readOnlyText().isEmpty())
        throw Failure(readOnlyText());
    if (sqlite3_bind_parameter_count(stmt) > 0)
        throw Failure(kNoValueText);
    // Whatever follows may be blanks, comments and empty statements only.
    const auto *end = reinterpret_cast<const char16_t *>(text.utf16()) + text.size();
    if (furtherStatement(m_handle, static_cast<const char16_t *>(tail), end))
        throw Failure(kAfterEndText);
    return first.release();
}

std::unique_ptr<EngineResult> SqliteEngine::run(const QString &commandText, bool wantRows,
                                                qint64 *rowsAffected)
{
    *rowsAffected = -1;
    statementStarts();
    // The tool's marks become "?", which the check below finds unbound.
    const QString text = rewriteParameterMarks(commandText).text;
    Statement checked = owned(checkSingleStatement(text));
    if (sqlite3_column_count(checked.get()) == 0) {
        const sqlite3_int64 before = sqlite3_total_changes64(m_handle);
        SqliteCursor run(m_handle, checked.get());
        while (run.step()) {
        }
        // The engine's count is that of its last insert, update or delete:
        // one that changed nothing (a table created) keeps the count of an
        // earlier one.
        *rowsAffected = sqlite3_total_changes64(m_handle) == before ? 0 : sqlite3_changes64(m_handle);
        return nullptr;
    }
    // The result runs on the statement the check prepared; its first row
    // is stepped now also when nobody reads it, so that it fails here.
    auto result = std::make_unique<SqliteResult>(m_handle, std::move(checked));
    if (!wantRows)
        return nullptr;
    return result;
}

sqlite3_stmt *SqliteEngine::prepareBound(const QString &sql, const QVector<QVariant> &binds) const
{
    Statement stmt = prepareFirst(m_handle, sql);
    if (!stmt)
        throw Failure(kNoStatementText);
    for (int i = 0; i < binds.size(); ++i) {
        if (bindValue(stmt.get(), i + 1, binds.at(i)) != SQLITE_OK)
            failWith(m_handle);
    }
    return stmt.release();
}

QVector<QVector<QVariant>> SqliteEngine::read(const QString &sql, const QVector<QVariant> &binds,
                                              ResultColumns *columns)
{
    statementStarts();
    Statement stmt = owned(prepareBound(sql, binds));
    const int count = sqlite3_column_count(stmt.get());
    if (columns)
        *columns = columnsOf(stmt.get());
    QVector<QVector<QVariant>> rows;
    // Read to its end, the statement is reset, which lets its read lock go.
    SqliteCursor cursor(m_handle, stmt.get());
    while (cursor.step()) {
        QVector<QVariant> row;
        row.reserve(count);
        for (int i = 0; i < count; ++i)
            row.append(cursor.value(i));
        rows.append(std::move(row));
    }
    return rows;
}

void SqliteEngine::change(const QString &sql, const QVector<QVariant> &binds)
{
    if (!readOnlyText().isEmpty())
        throw Failure(readOnlyText());
    statementStarts();
    Statement stmt = owned(prepareBound(sql, binds));
    SqliteCursor cursor(m_handle, stmt.get());
    while (cursor.step()) {
    }
}

qint64 SqliteEngine::write(const QString &sql, const QVector<QVariant> &binds)
{
    change(sql, binds);
    return sqlite3_changes64(m_handle);
}

InsertedRow SqliteEngine::insert(const QString &insertSql, const QVector<QVariant> &binds, const QStringList &)
{
    change(insertSql, binds);
    InsertedRow row;
    if (const sqlite3_int64 rowid = sqlite3_last_insert_rowid(m_handle))
        row.rowid = qlonglong(rowid);
    return row;
}

TableInfo SqliteEngine::tableInfo(const QString &schema, const QString &table)
{
    TableInfo info;
    const QString prefix = schema.isEmpty() ? QString() : quoteIdentifier(schema) + u'.';
    // The extended list names generated columns as well; the hidden
    // columns of virtual tables are left out, as "SELECT *" leaves them.
    const auto columns = read(QStringLiteral("PRAGMA %1table_xinfo(%2)").arg(prefix, quoteIdentifier(table)), {});
    QMap<int, QString> keys;
    for (const QVector<QVariant> &column : columns) {
        if (column.value(6).toInt() == 1)
            continue;
        info.columns.append(column.value(1).toString());
        const int pk = column.value(5).toInt();
        if (pk > 0)
            keys.insert(pk, column.value(1).toString());
    }
    info.primaryKey = keys.values();

    // Neither of these two questions fails the lookup: a table the engine
    // cannot tell about is neither a view nor read by rowid.
    auto answers = [this](const QString &sql, const QVector<QVariant> &binds) {
        try {
            return std::optional(read(sql, binds));
        } catch (const Failure &) {
            return std::optional<QVector<QVector<QVariant>>>();
        }
    };
    const auto type = answers(QStringLiteral("SELECT type FROM %1sqlite_master WHERE name = ? COLLATE NOCASE").arg(prefix),
                              {table});
    info.isView = type && !type->isEmpty() && type->first().value(0).toString() == QLatin1String("view");
    info.hasRowid = !info.isView
        && answers(QStringLiteral("SELECT rowid FROM %1%2 LIMIT 0").arg(prefix, quoteIdentifier(table)), {});
    return info;
}

void SqliteEngine::runControl(const QString &statement)
{
    statementStarts();
    if (sqlite3_exec(m_handle, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        failWith(m_handle);
}

bool SqliteEngine::inTransaction() const
{
    return sqlite3_get_autocommit(m_handle) == 0;
}

} // namespace rux
