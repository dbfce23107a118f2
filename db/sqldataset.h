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
    // Appends rowText(row, column) in the export's code page.
    void appendRowAnsi(qint64 row, int column, QByteArray &out);
    // The same for each of `fields` (numbers from 1), each followed by four
    // blanks; the row, which must exist, is looked for once.
    void appendRowAnsi(qint64 row, const std::vector<int> &fields, QByteArray &out);
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
    // `schema` and `table` spell the names as the engine found them (a
    // server folds names written without quotes); null when it takes the
    // name as given.
    struct TableInfo { QStringList columns; QStringList primaryKey; bool hasRowid = true; bool isView = false;
                       QString schema; QString table; };
    TableInfo tableInfo(const QString &schema, const QString &table);

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
    // Runs the open statement again from its first row, on a fresh query.
    void runStatementAgain();
    void suspendCursor(const QObject *runner);
    void pauseCursor();
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
    QString whereKey(QVector<QVariant> &binds, const QVector<QVariant> &row) const;
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
