#include "db/sqldataset.h"

#include "db/adoconnection.h"
#include "db/valuetext.h"
#include "base/ansicodec.h"
#include "base/failure.h"

#include <QLocale>

namespace rux {

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

SqlDataSet::~SqlDataSet() = default;

DatabaseEngine &SqlDataSet::engine() const
{
    return m_connection->dbEngine();
}

int SqlDataSet::columnCount() const
{
    return m_active ? int(m_columns.names.size()) - m_hidden : 0;
}

QString SqlDataSet::columnName(int column) const
{
    return m_columns.names.value(m_hidden + column);
}

bool SqlDataSet::isYesNoColumn(int column) const
{
    return m_columns.yesNo.value(m_hidden + column);
}

bool SqlDataSet::isDecimalColumn(int column) const
{
    return m_columns.decimal.value(m_hidden + column);
}

void SqlDataSet::takeColumns(const ResultColumns &columns)
{
    m_columns = columns;
    // Every list as long as the names, whatever the engine filled.
    const qsizetype n = m_columns.names.size();
    m_columns.yesNo.resize(n);
    m_columns.decimal.resize(n);
}

bool SqlDataSet::execute(const QString &text, int hiddenColumns, bool wantRows)
{
    release();
    m_connection->ensureOpen();
    m_connection->announceStatement(this);
    m_rowsAffected = -1;
    m_rowsSeen = 0;
    // Engines read a statement only up to a NUL: the rest (a WHERE clause,
    // say) would be dropped without a word.
    if (text.contains(QChar(u'\0')))
        throw Failure(kNulCharacterText);
    std::unique_ptr<EngineResult> result = engine().run(text, wantRows, &m_rowsAffected);
    if (!result)
        return false;
    m_cursor = std::make_unique<RowCursor>(std::move(result));
    takeColumns(m_cursor->columns());
    m_hidden = hiddenColumns;
    m_active = true;
    m_targetPending = true;
    m_rowsSeen = m_cursor->moveTo(0) ? 1 : 0;
    return true;
}

void SqlDataSet::release()
{
    const bool wasActive = m_active;
    m_cursor.reset();
    m_active = false;
    m_columns.clear();
    m_hidden = 0;
    m_rows.clear();
    m_rows.setKeyColumns({});
    m_cursorRowsCached = 0;
    m_cursorFirst = 0;
    m_fetchedAll = false;
    m_editedSinceRead = false;
    m_windows.reset();
    m_rowsBefore = false;
    m_target.reset();
    m_writer.reset();
    m_targetPending = false;
    m_readOnlyReason.clear();
    if (wasActive)
        Q_EMIT reset();
}

void SqlDataSet::yieldConnection()
{
    if (!engine().oneReadAtATime())
        return;
    m_connection->announceStatement(this);
    pauseCursor(true);
}

// A statement stepped part-way holds a read open on the connection: the
// engine refuses to drop a table while one is, and a server's connection
// takes no other statement meanwhile. Pausing gives the read up; the
// statement runs again when more rows are wanted.
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
    if (!m_cursor || !m_cursor->pause())
        return;
    // Rows with keys are found again by their keys, from the first row on:
    // edits since they were read may have moved them in the engine's order.
    if (fromStart && m_target && !m_target->keyColumns.isEmpty()) {
        m_cursorRowsCached = m_cursorFirst;
        m_editedSinceRead = false;
    }
}

QString SqlDataSet::cellText(int column, const QVariant &value) const
{
    return rux::cellText(value, m_columns.yesNo.value(column), m_columns.decimal.value(column), m_decimalPoint);
}

QVector<QVariant> SqlDataSet::readCursorRow() const
{
    QVector<QVariant> values;
    const int count = int(m_columns.names.size());
    values.reserve(count);
    for (int i = 0; i < count; ++i)
        values.append(m_cursor->value(i));
    return values;
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
        if (!m_cursor || !m_cursor->moveTo(m_cursorRowsCached)) {
            m_fetchedAll = true;
            break;
        }
        ++m_cursorRowsCached;
        if (m_rows.insert(m_rows.size(), readCursorRow()))
            ++added;
    }
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
    const bool exists = m_cursor && m_cursor->moveTo(m_cursorRowsCached + (row - m_rows.size()));
    if (exists)
        m_rowsSeen = qMax(m_rowsSeen, row + 1);
    return exists;
}

QVariant SqlDataSet::rowValue(qint64 row, int column)
{
    if (row < m_rows.size())
        return m_rows.at(row).value(m_hidden + column);
    m_cursor->moveTo(m_cursorRowsCached + (row - m_rows.size()));
    return m_cursor->value(m_hidden + column);
}

QString SqlDataSet::rowText(qint64 row, int column)
{
    return cellText(m_hidden + column, rowValue(row, column));
}

// Rows beyond the cache are written from the cursor, which may give the
// bytes without making the value first.
void SqlDataSet::appendRowAnsi(qint64 row, int column, QByteArray &out)
{
    if (m_cursor && row >= m_rows.size()) {
        m_cursor->moveTo(m_cursorRowsCached + (row - m_rows.size()));
        m_cursor->appendAnsi(m_hidden + column, m_decimalPoint, out);
        return;
    }
    appendAnsi(out, rowText(row, column));
}

QVariant SqlDataSet::value(int row, int column) const
{
    return m_rows.value(row).value(m_hidden + column);
}

QString SqlDataSet::displayText(int row, int column) const
{
    return cellText(m_hidden + column, value(row, column));
}

void SqlDataSet::setEditTarget(const EditTarget &target)
{
    m_target = target;
    m_writer.reset();
    m_rows.setKeyColumns(target.keyColumns);
}

void SqlDataSet::discoverEditTarget() const
{
    if (!m_targetPending)
        return;
    m_targetPending = false;
    auto *self = const_cast<SqlDataSet *>(this);
    try {
        self->findEditTarget();
    } catch (const Failure &f) {
        self->m_target.reset();
        self->m_readOnlyReason = QStringLiteral("Read-only: ") + f.text();
    }
}

bool SqlDataSet::canModify() const
{
    if (!m_active)
        return false;
    discoverEditTarget();
    return m_target && !m_target->keyColumns.isEmpty() && m_target->origins.size() == m_columns.names.size();
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

ResultOrigin SqlDataSet::originOfResult()
{
    if (!m_cursor)
        return ResultOrigin();
    // The engine may look the origin up in its catalog: this set's own read
    // is given up first, where the engine takes one statement at a time.
    yieldConnection();
    return m_cursor->result().origin();
}

TableInfo SqlDataSet::tableInfo(const QString &schema, const QString &table)
{
    yieldConnection();
    return engine().tableInfo(schema, table);
}

EditWriter &SqlDataSet::writer()
{
    // On an engine that takes no changes, the edit fails with its text
    // before anything is sent.
    if (m_active && !engine().readOnlyText().isEmpty())
        throw Failure(engine().readOnlyText());
    if (!canModify())
        throw Failure(objectName() + QStringLiteral(": Schreibgeschützte Datenmenge kann nicht geändert werden"));
    if (!m_writer)
        m_writer = std::make_unique<EditWriter>(engine(), *m_target, m_columns, m_hidden, m_decimalPoint);
    yieldConnection();
    return *m_writer;
}

void SqlDataSet::updateRow(int row, const QVector<QVariant> &values)
{
    EditWriter &w = writer();
    std::optional<QVector<QVariant>> written = w.update(m_rows.value(row), values);
    if (!written)
        return;
    m_rows.replace(row, std::move(*written));
    m_editedSinceRead = true;
}

void SqlDataSet::insertRow(int row, const QVector<QVariant> &values)
{
    QVector<QVariant> stored = writer().insert(values);
    m_rows.place(qBound(0, row, int(m_rows.size())), std::move(stored));
    m_editedSinceRead = true;
    if (m_windows && m_windows->count >= 0)
        ++m_windows->count;
}

void SqlDataSet::deleteRow(int row)
{
    writer().remove(m_rows.value(row));
    m_rows.remove(row);
    m_editedSinceRead = true;
    if (m_windows && m_windows->count > 0)
        --m_windows->count;
}

void SqlDataSet::refresh()
{
    if (m_windows) {
        jumpToFirst(kWindowRows);
        return;
    }
    if (!m_cursor)
        return;
    m_rows.clear();
    m_fetchedAll = false;
    m_cursorRowsCached = 0;
    m_cursorFirst = 0;
    m_rowsBefore = false;
    m_connection->announceStatement(this);
    m_cursor->rerun();
    Q_EMIT reset();
}

} // namespace rux
