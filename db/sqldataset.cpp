#include "sqldataset.h"

#include "adoconnection.h"
#include "failure.h"
#include "keepalive.h"
#include "sqlitecursor.h"
#include "sqltext.h"
#include "tablename.h"
#include "valuetext.h"

#include "script/ansicodec.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlResult>

#include <sqlite3.h>

namespace rux {

namespace {

// The rowid is named bare: a quoted "rowid" would be taken for a column.
QString columnSql(const QString &origin, bool isRowid)
{
    return isRowid ? QStringLiteral("rowid") : quoteIdentifier(origin);
}

QString tableSql(const QString &schema, const QString &table)
{
    return schema.isEmpty() ? quoteIdentifier(table)
                            : quoteIdentifier(schema) + u'.' + quoteIdentifier(table);
}

QString statementTail(const char16_t *begin, const void *tail)
{
    const auto *end = static_cast<const char16_t *>(tail);
    return QString(reinterpret_cast<const QChar *>(begin), end - begin);
}

} // namespace

SqlDataSet::SqlDataSet(AdoConnection *connection, const QString &objectName, QObject *parent)
    : DataSet(parent), m_connection(connection)
{
    setObjectName(objectName);
    const QString dp = QLocale::system().decimalPoint();
    m_decimalPoint = dp.isEmpty() ? QChar(u'.') : dp.front();
    connect(m_connection, &AdoConnection::aboutToClose, this, &SqlDataSet::release);
    connect(m_connection, &AdoConnection::statementStarting, this, &SqlDataSet::suspendCursor);
    connect(m_connection, &AdoConnection::idle, this, &SqlDataSet::releaseRead);
}

SqlDataSet::~SqlDataSet()
{
    m_query.reset();
}

int SqlDataSet::columnCount() const
{
    return m_active ? int(m_names.size()) - m_hidden : 0;
}

QString SqlDataSet::columnName(int column) const
{
    return m_names.value(m_hidden + column);
}

bool SqlDataSet::isYesNoColumn(int column) const
{
    return m_yesNo.value(m_hidden + column);
}

QString SqlDataSet::engineText(const QSqlQuery &query) const
{
    if (!m_connection->runsOnSqlite())
        return pg::serverText(query.lastError());
    const QSqlError error = query.lastError();
    const QString text = error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

void SqlDataSet::failEngine(const QSqlQuery &query) const
{
    throw Failure(engineText(query));
}

namespace {

sqlite3_stmt *sqliteStatementOf(const QSqlQuery &query)
{
    if (!query.result())
        return nullptr;
    const QVariant handle = query.result()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0)
        return nullptr;
    return *static_cast<sqlite3_stmt *const *>(handle.constData());
}

} // namespace

sqlite3_stmt *SqlDataSet::statementHandle() const
{
    return m_query ? sqliteStatementOf(*m_query) : nullptr;
}

void SqlDataSet::takeColumns(const QSqlQuery &query)
{
    const QSqlRecord record = query.record();
    sqlite3_stmt *stmt = sqliteStatementOf(query);
    for (int i = 0; i < record.count(); ++i) {
        m_names.append(record.fieldName(i));
        if (!m_connection->runsOnSqlite()) {
            m_yesNo.append(pg::isYesNo(m_pgColumns.value(i)));
            m_decimal.append(pg::isDecimal(m_pgColumns.value(i)));
            continue;
        }
        const char *declared = stmt ? sqlite3_column_decltype(stmt, i) : nullptr;
        m_yesNo.append(declared && isYesNoType(QString::fromUtf8(declared)));
    }
}

// The engine itself tells where the first statement ends. What follows it
// must hold no further statement: Qt would otherwise refuse it with its own
// wording, or another engine would run it silently. A statement that still
// holds a parameter would be bound to NULL; it fails instead, since this
// tool never supplies parameter values.
void SqlDataSet::checkSingleStatement(const QString &text, QString *firstStatement,
                                      sqlite3_stmt **prepared) const
{
    sqlite3 *db = m_connection->sqliteHandle();
    const auto *begin = reinterpret_cast<const char16_t *>(text.utf16());
    const int bytes = int(text.size() * sizeof(char16_t));
    sqlite3_stmt *stmt = nullptr;
    const void *tail = nullptr;
    if (sqlite3_prepare16_v2(db, begin, bytes, &stmt, &tail) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        throw Failure(message);
    }
    if (!stmt)
        throw Failure(QStringLiteral("Invalid SQL statement: the command text holds no statement."));
    const bool changesData = !sqlite3_stmt_readonly(stmt);
    const int parameters = sqlite3_bind_parameter_count(stmt);
    if (changesData && m_connection->readOnlyEngine()) {
        sqlite3_finalize(stmt);
        throw Failure(m_connection->readOnlyText());
    }
    if (parameters > 0) {
        sqlite3_finalize(stmt);
        throw Failure(QStringLiteral("No value given for one or more required parameters."));
    }
    *firstStatement = statementTail(begin, tail);
    // Finalized here unless the caller takes it, also when the rest fails.
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> first(stmt, sqlite3_finalize);

    // Whatever follows may be blanks, comments and empty statements only.
    const auto *end = begin + text.size();
    const void *rest = tail;
    while (rest && static_cast<const char16_t *>(rest) < end) {
        sqlite3_stmt *next = nullptr;
        const void *nextTail = nullptr;
        const int restBytes = int((end - static_cast<const char16_t *>(rest)) * sizeof(char16_t));
        const int rc = sqlite3_prepare16_v2(db, rest, restBytes, &next, &nextTail);
        const bool more = next != nullptr;
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || more)
            throw Failure(QStringLiteral("Characters found after end of SQL statement."));
        if (nextTail == rest)
            break;
        rest = nextTail;
    }
    if (prepared)
        *prepared = first.release();
}

bool SqlDataSet::execute(const QString &text, int hiddenColumns, bool wantRows)
{
    release();
    m_connection->ensureOpen();
    m_connection->announceStatement(this);
    m_rowsAffected = -1;
    m_rowsSeen = 0;
    const MarkedText marked = rewriteParameterMarks(text);
    // Engines read a statement only up to a NUL: the rest (a WHERE clause,
    // say) would be dropped without a word.
    if (marked.text.contains(QChar(u'\0')))
        throw Failure(QStringLiteral("The command text holds a NUL character."));
    QString first;
    bool held = false;
    if (m_connection->runsOnSqlite()) {
        sqlite3_stmt *checked = nullptr;
        checkSingleStatement(marked.text, &first, &checked);
        // A statement without result columns (a data change, a table
        // created) runs on the statement the check prepared, instead of
        // being prepared a second time by the driver.
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> owner(checked, sqlite3_finalize);
        if (sqlite3_column_count(checked) == 0) {
            sqlite3 *handle = m_connection->sqliteHandle();
            const sqlite3_int64 before = sqlite3_total_changes64(handle);
            SqliteCursor run(handle, checked);
            while (run.step()) {
            }
            // The engine's count is that of its last insert, update or
            // delete: one that changed nothing (a table created) keeps the
            // count of an earlier one.
            m_rowsAffected = sqlite3_total_changes64(handle) == before ? 0 : sqlite3_changes64(handle);
            return false;
        }
    } else {
        first = preparePostgres(marked.text, marked.positions);
        // The server may have run it already, its rows held for reading.
        const ServerRun run = runOnServer(first, wantRows, &m_rowsAffected);
        if (run == ServerRun::Done)
            return false;
        held = run == ServerRun::Held;
    }

    if (!held) {
        std::unique_ptr<QSqlQuery> query = runOnDriver(first);
        if (!query->isSelect()) {
            m_rowsAffected = query->numRowsAffected();
            return false;
        }
        m_query = std::move(query);
    }
    m_statement = first;
    m_hidden = hiddenColumns;
    if (sqlite3_stmt *stmt = statementHandle())
        m_direct = std::make_unique<SqliteCursor>(m_connection->sqliteHandle(), stmt);
    takeColumns(*m_query);
    m_active = true;
    m_cursorRow = -1;
    m_cursorAtEnd = false;
    m_rowsSeen = moveCursorTo(0) ? 1 : 0;
    return true;
}

std::unique_ptr<QSqlQuery> SqlDataSet::runOnDriver(const QString &statement)
{
    auto query = std::make_unique<QSqlQuery>(m_connection->database());
    query->setForwardOnly(true);
    // A server's numeric values arrive as their exact decimal text.
    if (!m_connection->runsOnSqlite())
        query->setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!query->exec(statement))
        failEngine(*query);
    return query;
}

void SqlDataSet::release()
{
    const bool wasActive = m_active;
    m_direct.reset();
    if (m_query) {
        m_query->finish();
        m_query.reset();
    }
    closeServerCursor();
    m_statement.clear();
    m_active = false;
    m_names.clear();
    m_yesNo.clear();
    m_decimal.clear();
    m_pgColumns.clear();
    m_pgOrigin = pg::Origin();
    m_hidden = 0;
    m_rows.clear();
    m_cursorRowsCached = 0;
    m_fetchedAll = false;
    m_cachedKeys.clear();
    m_cursorRow = -1;
    m_cursorAtEnd = false;
    m_suspended = false;
    m_editedSinceRead = false;
    m_windows.reset();
    m_rowsBefore = false;
    m_keyColumns.clear();
    m_origins.clear();
    m_readOnlyReason.clear();
    if (wasActive)
        Q_EMIT reset();
}

// Cursor rows are numbered from the first row of the statement. The rows
// the grid cached come first: row r of the set is cached row r, or cursor
// row m_cursorRowsCached + (r - cached rows) beyond them (edits add and
// remove cached rows, so the two counts differ). Going back to an earlier
// cursor row runs the statement again.
bool SqlDataSet::moveCursorTo(qint64 row)
{
    if (!m_query)
        return false;
    if (m_suspended || (m_cursorAtEnd ? row <= m_cursorRow : row < m_cursorRow)) {
        m_suspended = false;
        m_cursorRow = runStatementAgain(row);
        m_cursorAtEnd = false;
    }
    while (m_cursorRow < row) {
        if (m_cursorAtEnd)
            return false;
        if (!stepCursor()) {
            m_cursorAtEnd = true;
            return false;
        }
        ++m_cursorRow;
    }
    return !m_cursorAtEnd;
}

// The driver has read the first row when the statement ran and hands it
// out from its cache; every later row of a SQLite statement is stepped
// directly, so the driver's cache is never asked again until the statement
// runs anew (moveCursorTo runs it again before going back).
bool SqlDataSet::stepCursor()
{
    keepalive::tick();
    if (m_direct && m_cursorRow >= 0)
        return m_direct->step();
    if (!m_serverCursor.isEmpty())
        return stepServerCursor();
    if (!m_query->next()) {
        if (m_query->lastError().isValid())
            failEngine(*m_query);
        return false;
    }
    return true;
}

QVariant SqlDataSet::cursorValue(int column) const
{
    return m_direct ? m_direct->value(column) : m_query->value(column);
}

// Rows after the first are stepped from the SQLite statement itself, when
// the driver exposes it and it still yields every column the set knows.
void SqlDataSet::attachDirectCursor()
{
    m_direct.reset();
    sqlite3_stmt *stmt = statementHandle();
    if (stmt && sqlite3_column_count(stmt) >= m_names.size())
        m_direct = std::make_unique<SqliteCursor>(m_connection->sqliteHandle(), stmt);
}

// On a query object of its own: the driver's re-execution of a query keeps
// what it knew of the old result's columns, and after a schema change (a
// column added to the table) it then writes past them and corrupts memory.
// A server's driver runs a statement again only from its text anyway.
qint64 SqlDataSet::runStatementAgain(qint64 row)
{
    if (!m_serverCursor.isEmpty())
        return moveServerCursor(row);
    if (!m_connection->runsOnSqlite())
        m_connection->announceStatement(this);
    std::unique_ptr<QSqlQuery> query = runOnDriver(m_statement);
    m_direct.reset();
    m_query->finish();
    m_query = std::move(query);
    attachDirectCursor();
    return -1;
}

// A statement stepped part-way holds a read open on the connection, and
// the engine refuses to drop any table while one is. Resetting it gives
// the read up; the statement runs again when more rows are wanted.
void SqlDataSet::suspendCursor(const QObject *runner)
{
    if (runner != this)
        pauseCursor(true);
}

void SqlDataSet::releaseRead()
{
    pauseCursor(m_editedSinceRead);
}

void SqlDataSet::pauseCursor(bool fromStart)
{
    // A server's held cursor keeps nothing open on the connection between
    // its chunks, and its rows do not change.
    if (!m_query || m_suspended || m_cursorAtEnd || !m_serverCursor.isEmpty())
        return;
    m_query->finish();
    m_suspended = true;
    // Rows with keys are found again by their keys, from the first row on:
    // edits since they were read may have moved them in the engine's order.
    if (fromStart && !m_keyColumns.isEmpty()) {
        m_cursorRowsCached = 0;
        m_editedSinceRead = false;
    }
}

QString SqlDataSet::cellText(int column, const QVariant &value) const
{
    if (m_decimal.value(column) && m_decimalPoint != u'.' && value.typeId() == QMetaType::QString)
        return value.toString().replace(u'.', m_decimalPoint);
    return valueAsString(value, m_yesNo.value(column), m_decimalPoint);
}

QVector<QVariant> SqlDataSet::readCursorRow() const
{
    QVector<QVariant> values;
    values.reserve(m_names.size());
    for (int i = 0; i < m_names.size(); ++i)
        values.append(cursorValue(i));
    return values;
}

bool SqlDataSet::canFetchMore() const
{
    return m_active && !m_fetchedAll;
}

void SqlDataSet::fetchMore(int rows)
{
    if (m_windows) {
        if (canFetchMore())
            fetchWindowAfter(rows);
        return;
    }
    int added = 0;
    while (added < rows && canFetchMore()) {
        if (!moveCursorTo(m_cursorRowsCached)) {
            m_fetchedAll = true;
            break;
        }
        ++m_cursorRowsCached;
        if (cacheRow(readCursorRow(), m_rows.size()))
            ++added;
    }
}

bool SqlDataSet::cacheRow(QVector<QVariant> row, qsizetype at)
{
    const QString key = keyText(row);
    if (!key.isNull()) {
        if (m_cachedKeys.contains(key))
            return false;
        m_cachedKeys.insert(key);
    }
    m_rows.insert(at, std::move(row));
    return true;
}

// The key values of a row as one text, the type part of it as the engine
// tells 1 from '1'. Null when the set has no keys or a key value is null
// (a null key need not be unique).
QString SqlDataSet::keyText(const QVector<QVariant> &row) const
{
    if (m_keyColumns.isEmpty())
        return QString();
    QString text(QLatin1String(""));
    for (int k : m_keyColumns) {
        const QVariant &v = row.value(k);
        if (v.isNull())
            return QString();
        text += QString::number(v.typeId());
        text += u'\x1f';
        text += v.toString();
        text += u'\x1e';
    }
    return text;
}

void SqlDataSet::forgetKey(const QVector<QVariant> &row)
{
    const QString key = keyText(row);
    if (!key.isNull())
        m_cachedKeys.remove(key);
}

void SqlDataSet::rememberKey(const QVector<QVariant> &row)
{
    const QString key = keyText(row);
    if (!key.isNull())
        m_cachedKeys.insert(key);
}

bool SqlDataSet::rowExists(qint64 row)
{
    if (row < m_rows.size())
        return true;
    if (m_fetchedAll)
        return false;
    if (m_windows) {
        while (row >= m_rows.size() && canFetchMore())
            fetchWindowAfter(kWindowRows);
        return row < m_rows.size();
    }
    const bool exists = moveCursorTo(m_cursorRowsCached + (row - m_rows.size()));
    if (exists)
        m_rowsSeen = qMax(m_rowsSeen, row + 1);
    return exists;
}

QVariant SqlDataSet::rowValue(qint64 row, int column)
{
    if (row < m_rows.size())
        return m_rows[row].value(m_hidden + column);
    moveCursorTo(m_cursorRowsCached + (row - m_rows.size()));
    return cursorValue(m_hidden + column);
}

QString SqlDataSet::rowText(qint64 row, int column)
{
    return cellText(m_hidden + column, rowValue(row, column));
}

void SqlDataSet::appendRowAnsi(qint64 row, int column, QByteArray &out)
{
    if (m_direct && row >= m_rows.size()) {
        moveCursorTo(m_cursorRowsCached + (row - m_rows.size()));
        m_direct->appendAnsiText(m_hidden + column, m_yesNo.value(m_hidden + column),
                                 m_decimalPoint, out);
        return;
    }
    appendAnsi(out, rowText(row, column));
}

void SqlDataSet::appendRowAnsi(qint64 row, const std::vector<int> &fields, QByteArray &out)
{
    if (m_direct && row >= m_rows.size()) {
        moveCursorTo(m_cursorRowsCached + (row - m_rows.size()));
        for (int f : fields) {
            const int column = m_hidden + f - 1;
            m_direct->appendAnsiText(column, m_yesNo.value(column), m_decimalPoint, out);
            appendBytes(out, "    ", 4);
        }
        return;
    }
    for (int f : fields) {
        appendAnsi(out, rowText(row, f - 1));
        out.append("    ", 4);
    }
}

QVariant SqlDataSet::value(int row, int column) const
{
    return m_rows.value(row).value(m_hidden + column);
}

QString SqlDataSet::displayText(int row, int column) const
{
    return cellText(m_hidden + column, value(row, column));
}

void SqlDataSet::setEditTarget(const QString &schema, const QString &table,
                               const QVector<int> &keyColumns, const QStringList &columnOrigins,
                               bool rowidColumn)
{
    m_schema = schema;
    m_table = table;
    m_keyColumns = keyColumns;
    m_origins = columnOrigins;
    m_rowidColumn = rowidColumn;
}

QString SqlDataSet::readOnlyReason() const
{
    if (!m_active || canModify())
        return QString();
    if (!m_readOnlyReason.isEmpty())
        return m_readOnlyReason;
    return QStringLiteral("Read-only: these rows have no key to write them back by.");
}

QString SqlDataSet::readOnlyTableText(const QString &table, bool isView)
{
    if (isView)
        return QStringLiteral("Read-only: \"%1\" is a view, which has no key to write rows back by.").arg(table);
    return QStringLiteral("Read-only: table \"%1\" has no primary key to write rows back by.").arg(table);
}

SqlDataSet::Origin SqlDataSet::originOfResult() const
{
    if (!m_connection->runsOnSqlite())
        return postgresOrigin();
    Origin origin;
    sqlite3_stmt *stmt = statementHandle();
    if (!stmt)
        return origin;
    for (int i = 0; i < m_names.size(); ++i) {
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
    origin.valid = !m_names.isEmpty();
    return origin;
}

SqlDataSet::TableInfo SqlDataSet::tableInfo(const QString &schema, const QString &table)
{
    if (!m_connection->runsOnSqlite())
        return postgresTableInfo(schema, table);
    TableInfo info;
    QSqlQuery q(m_connection->database());
    const QString prefix = schema.isEmpty() ? QString() : quoteIdentifier(schema) + u'.';
    // The extended list names generated columns as well; the hidden
    // columns of virtual tables are left out, as "SELECT *" leaves them.
    if (!q.exec(QStringLiteral("PRAGMA %1table_xinfo(%2)").arg(prefix, quoteIdentifier(table))))
        failEngine(q);
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

    QSqlQuery type(m_connection->database());
    type.prepare(QStringLiteral("SELECT type FROM %1sqlite_master WHERE name = ? COLLATE NOCASE")
                     .arg(prefix));
    type.addBindValue(table);
    if (type.exec() && type.next())
        info.isView = type.value(0).toString() == QLatin1String("view");

    QSqlQuery rowid(m_connection->database());
    info.hasRowid = !info.isView
        && rowid.exec(QStringLiteral("SELECT rowid FROM %1 LIMIT 0").arg(tableSql(schema, table)));
    return info;
}

QVariant SqlDataSet::bindValue(int column, const QVariant &shown) const
{
    if (shown.isNull())
        return QVariant();
    if (shown.typeId() == QMetaType::QString) {
        const QString text = shown.toString();
        if (text.isEmpty())
            return QVariant();
        if (m_yesNo.value(column)) {
            // A server's boolean column takes only a boolean value.
            const bool typed = !m_connection->runsOnSqlite();
            const QString t = text.trimmed().toLower();
            if (t == QLatin1String("wahr") || t == QLatin1String("true") || t == QLatin1String("1"))
                return typed ? QVariant(true) : QVariant(1);
            if (t == QLatin1String("falsch") || t == QLatin1String("false") || t == QLatin1String("0"))
                return typed ? QVariant(false) : QVariant(0);
        }
        if (m_decimal.value(column) && m_decimalPoint != u'.')
            return QString(text).replace(m_decimalPoint, u'.');
    }
    return shown;
}

QString SqlDataSet::mark(const QVector<QVariant> &binds, Marks marks) const
{
    return marks == Marks::Numbered ? QStringLiteral("$%1").arg(binds.size()) : QStringLiteral("?");
}

SqlDataSet::Marks SqlDataSet::writeMarks() const
{
    return m_connection->runsOnSqlite() ? Marks::Question : Marks::Numbered;
}

QString SqlDataSet::whereKey(QVector<QVariant> &binds, const QVector<QVariant> &row, Marks marks) const
{
    QStringList terms;
    for (int k : m_keyColumns) {
        binds.append(row.value(k));
        // Key columns are never null; "IS" is SQLite's null-safe form,
        // which a server does not accept.
        terms.append(columnSql(m_origins[k], m_rowidColumn && k == 0)
                     + (m_connection->runsOnSqlite() ? QStringLiteral(" IS ") : QStringLiteral(" = "))
                     + mark(binds, marks));
    }
    return terms.join(QStringLiteral(" AND "));
}

qint64 SqlDataSet::write(const QString &sql, const QVector<QVariant> &binds)
{
    yieldConnection();
    if (!m_connection->runsOnSqlite()) {
        const pg::Outcome done = pg::runCommand(m_connection->database(), sql, binds);
        if (!done.ok)
            throw Failure(done.text);
        return done.rowsAffected;
    }
    QSqlQuery q(m_connection->database());
    q.prepare(sql);
    execBound(q, binds);
    return q.numRowsAffected();
}

void SqlDataSet::execBound(QSqlQuery &query, const QVector<QVariant> &binds) const
{
    for (const QVariant &b : binds)
        query.addBindValue(b);
    if (!query.exec())
        failEngine(query);
}

QVector<QVariant> SqlDataSet::rereadRow(const QString &where, const QVector<QVariant> &binds)
{
    yieldConnection();
    QStringList columns;
    for (int i = 0; i < m_origins.size(); ++i)
        columns.append(columnSql(m_origins[i], m_rowidColumn && i == 0));
    QSqlQuery q(m_connection->database());
    if (!m_connection->runsOnSqlite())
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                       .arg(columns.join(u','), tableSql(m_schema, m_table), where))
        && !m_connection->runsOnSqlite())
        failEngine(q);
    return editedColumnsOfFirstRow(q, binds);
}

// Runs a prepared statement with its values bound in order and returns the
// edited columns of its first row (nothing when it yields no row).
QVector<QVariant> SqlDataSet::editedColumnsOfFirstRow(QSqlQuery &q, const QVector<QVariant> &binds) const
{
    execBound(q, binds);
    QVector<QVariant> values;
    if (q.next()) {
        for (int i = 0; i < m_origins.size(); ++i)
            values.append(q.value(i));
    }
    return values;
}

// A posted edit on a read-only engine fails with the engine's text
// before anything is sent.
void SqlDataSet::refuseOnReadOnlyEngine() const
{
    if (m_connection->readOnlyEngine())
        throw Failure(m_connection->readOnlyText());
}

void SqlDataSet::updateRow(int row, const QVector<QVariant> &values)
{
    refuseOnReadOnlyEngine();
    if (!canModify())
        throw Failure(objectName() + QStringLiteral(": Schreibgeschützte Datenmenge kann nicht geändert werden"));
    QVector<QVariant> original = m_rows.value(row);
    QStringList sets;
    QVector<QVariant> binds;
    QVector<QVariant> updated = original;
    for (int c = 0; c < values.size(); ++c) {
        const int i = m_hidden + c;
        // A cell still showing the text of its value is not written: the
        // text of a real, a blob or an empty text would not give the value
        // back.
        if (values[c].typeId() == QMetaType::QString
            && values[c].toString()
                == cellText(i, original.value(i)))
            continue;
        const QVariant v = bindValue(i, values[c]);
        if (v == original.value(i) && v.isNull() == original.value(i).isNull())
            continue;
        binds.append(v);
        sets.append(quoteIdentifier(m_origins[i]) + QStringLiteral(" = ") + mark(binds, writeMarks()));
        updated[i] = v;
    }
    if (sets.isEmpty())
        return;
    const QString where = whereKey(binds, original, writeMarks());
    const qint64 written = write(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                     .arg(tableSql(m_schema, m_table), sets.join(u','), where),
                                 binds);
    if (written == 0) {
        throw Failure(QStringLiteral("Row cannot be located for updating. "
                                     "Some values may have been changed since it was last read."));
    }
    QVector<QVariant> keyBinds;
    const QString newWhere = whereKey(keyBinds, updated, Marks::Question);
    const QVector<QVariant> reread = rereadRow(newWhere, keyBinds);
    forgetKey(m_rows[row]);
    m_rows[row] = reread.isEmpty() ? updated : reread;
    rememberKey(m_rows[row]);
    m_editedSinceRead = true;
}

void SqlDataSet::insertRow(int row, const QVector<QVariant> &values)
{
    refuseOnReadOnlyEngine();
    if (!canModify())
        throw Failure(objectName() + QStringLiteral(": Schreibgeschützte Datenmenge kann nicht geändert werden"));
    QStringList columns;
    QStringList marks;
    QVector<QVariant> binds;
    QVector<QVariant> full(m_names.size());
    for (int c = 0; c < values.size(); ++c) {
        const int i = m_hidden + c;
        const QVariant v = bindValue(i, values[c]);
        full[i] = v;
        if (v.isNull())
            continue;
        columns.append(quoteIdentifier(m_origins[i]));
        binds.append(v);
        marks.append(mark(binds, writeMarks()));
    }
    const QString insertSql = columns.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(tableSql(m_schema, m_table))
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
              .arg(tableSql(m_schema, m_table), columns.join(u','), marks.join(u','));
    // The row as the engine stored it (defaults and generated keys filled
    // in); what was sent when it cannot be read back.
    QVector<QVariant> stored;
    if (!m_connection->runsOnSqlite()) {
        stored = insertPostgres(insertSql, binds);
    } else {
        QSqlQuery q(m_connection->database());
        q.prepare(insertSql);
        execBound(q, binds);
        const QVariant rowid = q.lastInsertId();
        if (rowid.isValid() && (m_rowidColumn || tableInfo(m_schema, m_table).hasRowid)) {
            stored = rereadRow(QStringLiteral("rowid = ?"), {rowid});
        } else {
            QVector<QVariant> keyBinds;
            stored = rereadRow(whereKey(keyBinds, full, Marks::Question), keyBinds);
        }
    }
    const int at = qBound(0, row, int(m_rows.size()));
    m_rows.insert(at, stored.isEmpty() ? full : stored);
    rememberKey(m_rows[at]);
    m_editedSinceRead = true;
}

void SqlDataSet::deleteRow(int row)
{
    refuseOnReadOnlyEngine();
    if (!canModify())
        throw Failure(objectName() + QStringLiteral(": Schreibgeschützte Datenmenge kann nicht geändert werden"));
    QVector<QVariant> binds;
    const QString where = whereKey(binds, m_rows.value(row), writeMarks());
    if (write(QStringLiteral("DELETE FROM %1 WHERE %2").arg(tableSql(m_schema, m_table), where), binds) == 0) {
        throw Failure(QStringLiteral("Row cannot be located for deleting. "
                                     "Some values may have been changed since it was last read."));
    }
    forgetKey(m_rows[row]);
    m_rows.remove(row);
    m_editedSinceRead = true;
}

void SqlDataSet::refresh()
{
    if (m_windows) {
        jumpToFirst(kWindowRows);
        return;
    }
    if (!m_query)
        return;
    m_rows.clear();
    m_fetchedAll = false;
    m_cachedKeys.clear();
    m_cursorRowsCached = 0;
    m_connection->announceStatement(this);
    if (!m_serverCursor.isEmpty()) {
        // The held rows are those of the first run: the statement runs anew.
        const QString name = m_serverCursor;
        closeServerCursor();
        m_serverCursor = name;
        declareServerCursor(m_statement);
    }
    m_cursorRow = runStatementAgain(0);
    m_cursorAtEnd = false;
    m_suspended = false;
    Q_EMIT reset();
}

} // namespace rux
