#pragma once

#include "dataset.h"

#include <QSet>
#include <QSqlQuery>

#include <memory>

struct sqlite3_stmt;

namespace rux {

class AdoConnection;

// The common body of the query and the table objects: one statement run on
// the connection, read row by row through a forward-only cursor, and a cache
// of the rows a grid has asked for. Reading through the cursor (an export)
// keeps nothing; only the grid's rows are cached, so memory stays flat on
// large results. When the rows come from a single table and can be
// addressed by its primary key or rowid, they can be written back.
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
    QVariant value(int row, int column) const override;
    QString displayText(int row, int column) const override;

    bool canModify() const override { return m_active && m_editable; }
    void updateRow(int row, const QVector<QVariant> &values) override;
    void insertRow(int row, const QVector<QVariant> &values) override;
    void deleteRow(int row) override;
    void refresh() override;

    AdoConnection *connection() const { return m_connection; }

protected:
    // Runs `text` on the connection (opening it on demand). Returns true
    // when the statement yields a result set, which is then open with the
    // cursor on its first row; false when it ran without one. Throws the
    // engine's error. `hiddenColumns` leading columns serve as row keys and
    // are not shown.
    bool execute(const QString &text, int hiddenColumns = 0);
    // Releases the statement and the cached rows; the set is closed.
    void release();
    // The cursor's row `row` exists (moving the cursor there if needed).
    bool rowExists(qint64 row);
    // Value of a shown column on row `row`, which must exist.
    QVariant rowValue(qint64 row, int column);
    QString rowText(qint64 row, int column);
    // Where edits go: a table and the columns (indices among all columns,
    // hidden ones included) that identify a row; set by the subclass.
    void setEditTarget(const QString &schema, const QString &table,
                       const QVector<int> &keyColumns, const QStringList &columnOrigins,
                       bool rowidKey);
    // For a statement over one table: the table and the origin column of
    // every result column, when the engine knows them.
    struct Origin { QString schema; QString table; QStringList columns; bool valid = false; };
    Origin originOfResult() const;
    // The table's primary key columns in key order (empty: none declared),
    // and whether it is a rowid table.
    struct TableInfo { QStringList columns; QStringList primaryKey; bool hasRowid = true; bool isView = false; };
    TableInfo tableInfo(const QString &schema, const QString &table);

    QString engineText(const QSqlQuery &query) const;
    [[noreturn]] void failEngine(const QSqlQuery &query) const;

private:
    sqlite3_stmt *statementHandle() const;
    void checkSingleStatement(const QString &text, QString *firstStatement) const;
    bool moveCursorTo(qint64 row);
    void runStatementAgain();
    void suspendCursor(const QObject *runner);
    QVector<QVariant> readCursorRow() const;
    QString whereKey(QVector<QVariant> &binds, const QVector<QVariant> &row) const;
    QVector<QVariant> rereadRow(const QString &where, const QVector<QVariant> &binds);
    QVariant bindValue(int column, const QVariant &shown) const;
    QString keyText(const QVector<QVariant> &row) const;
    void forgetKey(const QVector<QVariant> &row);
    void rememberKey(const QVector<QVariant> &row);

    AdoConnection *m_connection;
    std::unique_ptr<QSqlQuery> m_query;
    // The statement the open set runs, as sent to the engine.
    QString m_statement;
    bool m_active = false;
    int m_hidden = 0;
    QStringList m_names;
    QVector<bool> m_yesNo;
    QChar m_decimalPoint;

    qint64 m_cursorRow = -1;
    bool m_cursorAtEnd = false;
    // The statement was reset in the middle of its rows; the next read runs
    // it again.
    bool m_suspended = false;
    QVector<QVector<QVariant>> m_rows;
    qint64 m_cursorRowsCached = 0;
    bool m_fetchedAll = false;
    // Keys of the cached rows, for a set whose rows have keys. The engine's
    // scan may meet a row the grid already holds (a row inserted or moved
    // further on by an edit, every row after a suspended read runs again);
    // such a row is not taken a second time.
    QSet<QString> m_cachedKeys;

    bool m_editable = false;
    QString m_schema;
    QString m_table;
    QVector<int> m_keyColumns;
    QStringList m_origins;
    bool m_rowidKey = false;
};

} // namespace rux
