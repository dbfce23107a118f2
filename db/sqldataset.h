#pragma once

#include "db/dataset.h"
#include "db/editwriter.h"
#include "db/engine.h"
#include "db/rowcache.h"
#include "db/rowcursor.h"

#include <memory>

namespace rux {

class AdoConnection;

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
// primary key or rowid, they can be written back. Where edits would go is
// looked up only when a grid first asks (canModify), never in a run
// without one.
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
    bool isDecimalColumn(int column) const override;

    int fetchedRowCount() const override { return int(m_rows.size()); }
    bool canFetchMore() const override { return m_active && !m_fetchedAll; }
    void fetchMore(int rows) override;
    bool canJump() const override { return m_windows != nullptr || (m_cursor && m_cursor->result().canCount()); }
    void jumpToFirst(int rows) override;
    void jumpToLast(int rows) override;
    bool canFetchBefore() const override { return m_active && m_rowsBefore; }
    int fetchBefore(int rows) override;
    bool canReadAt() const override { return m_windows != nullptr; }
    qint64 rowsInAll() const override { return m_windows ? m_windows->count : -1; }
    qint64 firstRowAt() const override { return m_windows ? m_windows->start : 0; }
    void countRows() override;
    void readAt(qint64 position, int rows) override;
    QVariant value(int row, int column) const override;
    QString displayText(int row, int column) const override;

    bool canModify() const override;
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
    // "SELECT <columns> FROM <from>", `orderColumns` the columns (indices
    // among all, hidden ones included) that order the windows and
    // `orderSql` their SQL. The rows come with fetchMore, the first window
    // of which also tells the columns.
    void openWindows(const QString &select, const QString &from, int hiddenColumns,
                     const QVector<int> &orderColumns, const QStringList &orderSql);
    // Releases the statement and the cached rows; the set is closed.
    void release();
    // The cursor's row `row` exists (moving the cursor there if needed).
    bool rowExists(qint64 row);
    // Value of a shown column on row `row`, which must exist.
    QVariant rowValue(qint64 row, int column);
    QString rowText(qint64 row, int column);
    // Appends rowText(row, column) in the export's code page.
    void appendRowAnsi(qint64 row, int column, QByteArray &out);

    DatabaseEngine &engine() const;
    // Where edits go; set by the subclass.
    void setEditTarget(const EditTarget &target);
    // Why the rows cannot be written back; kept until the set is released.
    void setReadOnlyReason(const QString &reason) { m_readOnlyReason = reason; }
    // The reason for a view, or for a table without a key to write by.
    static QString readOnlyTableText(const QString &table, bool isView);
    // Called once for an open set, when a grid first asks whether its rows
    // can be written back: the subclass sets the edit target or the reason
    // why there is none. A failure here leaves the rows read-only.
    virtual void findEditTarget() {}
    // For a statement over one table: the table and the origin column of
    // every result column, when the engine knows them.
    ResultOrigin originOfResult();
    TableInfo tableInfo(const QString &schema, const QString &table);

private:
    void takeColumns(const ResultColumns &columns);
    // Before a statement runs on an engine that reads one statement at a
    // time, the other queries and tables, and this one, give their reads
    // up.
    void yieldConnection();
    void suspendCursor(const QObject *runner);
    // `fromStart`: the statement runs again from its first row (the engine's
    // order may have changed under rows with keys).
    void pauseCursor(bool fromStart);
    QString cellText(int column, const QVariant &value) const;
    QVector<QVariant> readCursorRow() const;
    // Looks up where edits go, once.
    void discoverEditTarget() const;
    EditWriter &writer();

    // Reading by key (tablewindows.cpp). From: the rows from the key
    // `fromKey` on; At: the rows from place `offset` on, the engine skipping
    // those before.
    enum class Window { First, After, Before, Last, From, At };
    QVector<QVector<QVariant>> readWindow(Window which, int rows, const QVector<QVariant> &fromKey = {},
                                         qint64 offset = 0);
    // The key that stands at about `position` of `count` rows, where the
    // rows are ordered by one whole-number key: the smallest and the
    // largest key bound a straight line. Nothing when the key is of
    // another kind.
    std::optional<QVariant> keyNear(qint64 position, qint64 count);
    // The first or the last window becomes the rows held.
    void readFirstWindow(int rows);
    void readLastWindow(int rows);
    void fetchWindowAfter(int rows);
    // The rows shown become `window`, read from the engine.
    void replaceRows(QVector<QVector<QVariant>> window);
    // Places the rows of `window` before those shown, each row once by its
    // key; returns how many were placed.
    int placeRowsBefore(QVector<QVector<QVariant>> window);

    // Jumps on a result read through its cursor (resultwindows.cpp).
    void jumpResultToFirst(int rows);
    void jumpResultToLast(int rows);
    int fetchResultBefore(int rows);
    // Cursor rows `from` up to `to` (not included), fewer where the result
    // ends; the cursor runs the statement again from `from`.
    QVector<QVector<QVariant>> readResultRows(qint64 from, qint64 to);
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
        // The table, for counting its rows.
        QString from;
        // All rows as last counted (-1: not yet), and the place of the
        // first row held among them.
        qint64 count = -1;
        qint64 start = 0;
    };

    AdoConnection *m_connection;
    std::unique_ptr<RowCursor> m_cursor;
    bool m_active = false;
    int m_hidden = 0;
    ResultColumns m_columns;
    QChar m_decimalPoint;

    // Rows were written since the cursor last read: a resumed read starts
    // over from the first row (rows with keys are not taken twice).
    bool m_editedSinceRead = false;
    std::unique_ptr<Windows> m_windows;
    bool m_rowsBefore = false;
    RowCache m_rows;
    // Cursor rows are numbered from the first row of the statement. The
    // rows the grid cached come first: row r of the set is cached row r, or
    // cursor row m_cursorRowsCached + (r - cached rows) beyond them (edits
    // add and remove cached rows, so the two counts differ). After a jump
    // towards the end of a result, the cache starts at cursor row
    // m_cursorFirst, and m_cursorRowsCached is the cursor row read next.
    qint64 m_cursorRowsCached = 0;
    // The cursor row of the first cached row: 0 but after a jump towards
    // the end of a result.
    qint64 m_cursorFirst = 0;
    bool m_fetchedAll = false;

    qint64 m_rowsAffected = -1;
    qint64 m_rowsSeen = 0;

    std::optional<EditTarget> m_target;
    std::unique_ptr<EditWriter> m_writer;
    // The edit target is still to be looked up.
    mutable bool m_targetPending = false;
    QString m_readOnlyReason;
};

} // namespace rux
