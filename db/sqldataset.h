#pragma once

#include "dataset.h"
#include "pgstatement.h"

#include <QSet>
#include <QSqlQuery>

#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace rux {

class AdoConnection;
class SqliteCursor;

// The common body of the query and the table objects, and a cache of the
// rows a grid has asked for.
//
// A result (a statement of the script) is read row by row through a
// forward-only cursor. Reading through the cursor (an export) keeps nothing;
// only the grid's rows are cached, so memory stays flat on large results.
// Whenever the program waits for the user the cursor gives its statement
// up, so that it holds no lock; the next window of rows runs the statement
// again up to where the grid had read.
//
// A table with a rowid or a primary key is read in windows ordered by that
// key, each window a short statement of its own that starts after the last
// key read: every window costs the same wherever it starts, and nothing is
// held open between windows. The grid shows each window as the database
// held it when it was read.
//
// When the rows come from a single table and can be addressed by its
// primary key or rowid, they can be written back.
class SqlDataSet : public DataSet
{
    Q_OBJECT
public:
    SqlDataSet(AdoConnection *connection, const QString &objectName, QObject *parent = nullptr);
    ~SqlDataSet() override;

    bool isActive() const override { return m_active; }
    int columnCount() const override;
    QString columnName(int column) const override;
    bool isYesNoColumn(int column) const override;

    int fetchedRowCount() const override { return int(m_rows.size()); }
    bool canFetchMore() const override;
    void fetchMore(int rows) override;
    bool canJump() const override { return m_windows != nullptr; }
    void jumpToFirst(int rows) override;
    void jumpToLast(int rows) override;
    bool canFetchBefore() const override { return m_active && m_rowsBefore; }
    int fetchBefore(int rows) override;
    QVariant value(int row, int column) const override;
    QString displayText(int row, int column) const override;

    bool canModify() const override
    {
        return m_active && !m_keyColumns.isEmpty() && m_origins.size() == m_names.size();
    }
    QString readOnlyReason() const override;
    void updateRow(int row, const QVector<QVariant> &values) override;
    void insertRow(int row, const QVector<QVariant> &values) override;
    void deleteRow(int row) override;
    void refresh() override;

    AdoConnection *connection() const { return m_connection; }

    // Gives up a statement left part-way through its rows, and with it the
    // engine's read lock; the rows not read yet come by running it again.
    // Called whenever the program waits for the user.
    void releaseRead();

    // Rows the grid reads at a time.
    static constexpr int kWindowRows = 256;

    // For the statement run last: the rows it changed (-1: not known, or it
    // returned rows), and how many rows of its result have been read.
    qint64 rowsAffected() const { return m_rowsAffected; }
    qint64 rowsRead() const { return qMax(m_rowsSeen, qint64(m_rows.size())); }

protected:
    // Runs `text` on the connection (opening it on demand). Returns true
    // when the statement yields a result set, which is then open with the
    // cursor on its first row; false when it ran without one. Throws the
    // engine's error. `hiddenColumns` leading columns serve as row keys and
    // are not shown.
    // `wantRows` false: rows the statement returns are not wanted (the
    // statement runs, and false is returned).
    bool execute(const QString &text, int hiddenColumns = 0, bool wantRows = true);
    // Opens the set on a table read in windows ordered by key: `select` is
    // "SELECT <columns> FROM <table>", `orderColumns` the columns (indices
    // among all, hidden ones included) that order the windows and
    // `orderSql` their SQL. The rows come with fetchMore, the first window
    // of which also tells the columns.
    void openWindows(const QString &select, int hiddenColumns, const QVector<int> &orderColumns,
                     const QStringList &orderSql);
    // Releases the statement and the cached rows; the set is closed.
    void release();
    // The cursor's row `row` exists (moving the cursor there if needed).
    bool rowExists(qint64 row);
    // Value of a shown column on row `row`, which must exist.
    QVariant rowValue(qint64 row, int column);
    QString rowText(qint64 row, int column);
    // Appends rowText(row, column) in the export's code page.
    void appendRowAnsi(qint64 row, int column, QByteArray &out);
    // The same for each of `fields` (numbers from 1), each followed by four
    // blanks; the row, which must exist, is looked for once.
    void appendRowAnsi(qint64 row, const std::vector<int> &fields, QByteArray &out);
    // Where edits go: a table and the columns (indices among all columns,
    // hidden ones included) that identify a row; set by the subclass.
    // `rowidColumn`: the first, hidden, column is the table's rowid.
    void setEditTarget(const QString &schema, const QString &table,
                       const QVector<int> &keyColumns, const QStringList &columnOrigins,
                       bool rowidColumn);
    // Why the rows cannot be written back; kept until the set is released.
    void setReadOnlyReason(const QString &reason) { m_readOnlyReason = reason; }
    // The reason for a view, or for a table without a key to write by.
    static QString readOnlyTableText(const QString &table, bool isView);
    // For a statement over one table: the table and the origin column of
    // every result column, when the engine knows them.
    struct Origin { QString schema; QString table; QStringList columns; bool valid = false; };
    Origin originOfResult() const;
    // The table's primary key columns in key order (empty: none declared),
    // and whether it is a rowid table.
    // `schema` and `table` spell the names as the engine found them (a
    // server folds names written without quotes); null when it takes the
    // name as given.
    struct TableInfo { QStringList columns; QStringList primaryKey; bool hasRowid = true; bool isView = false;
                       QString schema; QString table; };
    TableInfo tableInfo(const QString &schema, const QString &table);

    // Runs the prepared `query` with `binds` bound in order; throws the
    // engine's error.
    void execBound(QSqlQuery &query, const QVector<QVariant> &binds) const;
    QString engineText(const QSqlQuery &query) const;
    [[noreturn]] void failEngine(const QSqlQuery &query) const;

private:
    sqlite3_stmt *statementHandle() const;
    // When `prepared` is given, the first statement's engine statement is
    // handed over to the caller, who finalizes it.
    void checkSingleStatement(const QString &text, QString *firstStatement,
                              sqlite3_stmt **prepared = nullptr) const;
    bool moveCursorTo(qint64 row);
    bool stepCursor();
    QVariant cursorValue(int column) const;
    void attachDirectCursor();
    // The names and kinds of the columns of a statement that just ran.
    void takeColumns(const QSqlQuery &query);
    // A cursor row put in the cache unless the grid holds that row already.
    bool cacheRow(QVector<QVariant> row, qsizetype at);

    // Reading by key (tablewindows.cpp).
    enum class Window { First, After, Before, Last };
    QVector<QVector<QVariant>> readWindow(Window which, int rows);
    void fetchWindowAfter(int rows);
    // The rows shown become `window`, read from the engine.
    void replaceRows(QVector<QVector<QVariant>> window);
    QVector<QVariant> windowKey(const QVector<QVariant> &row) const;
    struct Windows
    {
        QString select;
        QVector<int> orderColumns;
        QStringList orderSql;
        // The keys of the first and the last row read from the engine,
        // empty before the first window.
        QVector<QVariant> firstKey;
        QVector<QVariant> lastKey;
    };
    // Runs a statement through Qt's driver, its rows read forward only.
    std::unique_ptr<QSqlQuery> runOnDriver(const QString &statement);
    // Runs the open statement again, on a fresh query, for reading row
    // `row` next. Returns the row the cursor then stands on (before the
    // first: -1).
    qint64 runStatementAgain(qint64 row);
    void suspendCursor(const QObject *runner);
    // `fromStart`: the statement runs again from its first row (the engine's
    // order may have changed under rows with keys).
    void pauseCursor(bool fromStart);
    QString cellText(int column, const QVariant &value) const;

    // PostgreSQL (pgdataset.cpp). One statement at a time may be part-way
    // through its rows on a server connection: before anything else runs,
    // the other queries and tables, and this one, give their reads up.
    void yieldConnection();
    QString preparePostgres(const QString &sent, const QList<qsizetype> &markPositions);
    Origin postgresOrigin() const;
    TableInfo postgresTableInfo(const QString &schema, const QString &table);
    QVector<QVariant> insertPostgres(const QString &insertSql, const QVector<QVariant> &binds);
    QVector<QVariant> readCursorRow() const;
    // Parameter marks of a statement: "?" for Qt's drivers, "$1", "$2", ...
    // for a command sent to a server directly.
    enum class Marks { Question, Numbered };
    QString mark(const QVector<QVariant> &binds, Marks marks) const;
    Marks writeMarks() const;
    QString whereKey(QVector<QVariant> &binds, const QVector<QVariant> &row, Marks marks) const;
    // Runs a data change of an edit; returns the rows it changed.
    qint64 write(const QString &sql, const QVector<QVariant> &binds);

    // A server's statement with a result (pgdataset.cpp).
    enum class ServerRun { Done, Held, Streamed };
    struct ServerCursorRefused {};
    static constexpr int kServerChunkRows = 10000;
    ServerRun runOnServer(const QString &statement, bool wantRows, qint64 *rowsAffected);
    void declareServerCursor(const QString &statement);
    void closeServerCursor();
    std::unique_ptr<QSqlQuery> fetchServerChunk();
    bool stepServerCursor();
    qint64 moveServerCursor(qint64 row);
    QVector<QVariant> rereadRow(const QString &where, const QVector<QVariant> &binds);
    QVector<QVariant> editedColumnsOfFirstRow(QSqlQuery &q, const QVector<QVariant> &binds) const;
    QVariant bindValue(int column, const QVariant &shown) const;
    QString keyText(const QVector<QVariant> &row) const;
    void forgetKey(const QVector<QVariant> &row);
    void rememberKey(const QVector<QVariant> &row);
    void refuseOnReadOnlyEngine() const;

    AdoConnection *m_connection;
    std::unique_ptr<QSqlQuery> m_query;
    // On SQLite, rows after the first are read from the statement itself.
    std::unique_ptr<SqliteCursor> m_direct;
    // The statement the open set runs, as sent to the engine.
    QString m_statement;
    // The server's cursor holding its rows; empty when none.
    QString m_serverCursor;
    bool m_active = false;
    int m_hidden = 0;
    QStringList m_names;
    QVector<bool> m_yesNo;
    QChar m_decimalPoint;
    // Columns whose values are exact decimal text (PostgreSQL numeric).
    QVector<bool> m_decimal;
    // PostgreSQL: the described columns of the open statement and, when
    // they all come from one table, that table.
    QVector<pg::Column> m_pgColumns;
    pg::Origin m_pgOrigin;

    qint64 m_cursorRow = -1;
    bool m_cursorAtEnd = false;
    // The statement was reset in the middle of its rows; the next read runs
    // it again.
    bool m_suspended = false;
    // Rows were written since the cursor last read: a resumed read starts
    // over from the first row (rows with keys are not taken twice).
    bool m_editedSinceRead = false;
    std::unique_ptr<Windows> m_windows;
    bool m_rowsBefore = false;
    QVector<QVector<QVariant>> m_rows;
    qint64 m_cursorRowsCached = 0;
    bool m_fetchedAll = false;
    // Keys of the cached rows, for a set whose rows have keys. The engine's
    // scan may meet a row the grid already holds (a row inserted or moved
    // further on by an edit, every row after a suspended read runs again);
    // such a row is not taken a second time.
    QSet<QString> m_cachedKeys;

    qint64 m_rowsAffected = -1;
    qint64 m_rowsSeen = 0;

    QString m_schema;
    QString m_table;
    QVector<int> m_keyColumns;
    QStringList m_origins;
    bool m_rowidColumn = false;
    QString m_readOnlyReason;
};

} // namespace rux
