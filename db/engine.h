#pragma once

#include <QByteArray>
#include <QChar>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

namespace rux {

// What the connection, the queries and the tables ask of the database
// engine behind them. Each engine (an SQLite file, an Access file's tables
// read into SQLite, a PostgreSQL server) lives in a folder of its own under
// db/ and is the only code that talks to its engine's library; everything
// else works through these two interfaces. Failures are Failure exceptions
// carrying the engine's text.

enum class EngineKind { Sqlite, Access, Postgres };

// How long a statement waits for a lock another program holds before it
// fails: a scheduled run must end.
constexpr int kBusyTimeoutMs = 5000;

// The refusals of a command text, worded alike on every engine.
inline constexpr QLatin1String kNoStatementText("Invalid SQL statement: the command text holds no statement.");
inline constexpr QLatin1String kAfterEndText("Characters found after end of SQL statement.");
inline constexpr QLatin1String kNoValueText("No value given for one or more required parameters.");
inline constexpr QLatin1String kNulCharacterText("The command text holds a NUL character.");

// What an engine's own rules tell of a command text before any database is
// opened (the script check): whether its statement returns rows, and a
// failure that running it would give on every database.
struct OfflineReading
{
    enum class Rows { Yes, No, Unknown };
    // Unknown where only a database can tell (a statement that names a
    // table, a column or a function), and where the engine has no parser
    // of its own to ask.
    Rows rows = Rows::Unknown;
    // The failure in the engine's own words; empty when none is certain.
    QString failure;
    // The line of the text (counted from 0) where the failure stands; -1
    // when no place is known.
    int line = -1;
};

// The columns of a result, numbered from 0.
struct ResultColumns
{
    QStringList names;
    // Yes/no columns: their values show as "Wahr" and "Falsch".
    QVector<bool> yesNo;
    // Columns whose values are exact decimal text: their decimal point is
    // the user's.
    QVector<bool> decimal;

    void clear()
    {
        names.clear();
        yesNo.clear();
        decimal.clear();
    }
};

// When every column of a result comes unchanged from one table: that table
// and each column's name there.
struct ResultOrigin
{
    QString schema;
    QString table;
    QStringList columns;
    bool valid = false;
};

// A table's columns in table order and its primary key in key order (empty:
// none declared). `schema` and `table` spell the names as the engine found
// them (a server folds names written without quotes); null when it takes the
// name as given. `hasRowid`: rows carry a rowid the table can be read and
// written by.
struct TableInfo
{
    QStringList columns;
    QStringList primaryKey;
    bool hasRowid = false;
    bool isView = false;
    QString schema;
    QString table;
};

// The rows of a statement, read forward one at a time.
class EngineResult
{
public:
    virtual ~EngineResult() = default;

    const ResultColumns &columns() const { return m_columns; }
    // Moves to the next row; false after the last one, when the read on the
    // database has ended.
    virtual bool next() = 0;
    // A column of the row moved to last.
    virtual QVariant value(int column) const = 0;
    // Appends the text of that value, as cell text shows it, in the
    // export's code page. An engine that can give the bytes without making
    // the value first does so.
    virtual void appendAnsi(int column, QChar decimalPoint, QByteArray &out) const;
    // Gives up a read left part-way, and with it any lock it holds; the
    // rows not read yet come by running the statement again (restart).
    // False when nothing is held open between reads (rows the server keeps
    // for the program), so there is nothing to give up.
    virtual bool pause() = 0;
    // Runs the statement again so that the next row read is row `row`
    // (from 0) or one before it. Returns the number of the row before the
    // next one read (-1: before the first); an engine that had the server
    // skip the rows before `row` has no values of that row at hand.
    virtual qint64 restart(qint64 row) = 0;
    // Runs the statement anew, from its first row, so that the rows read
    // next are those the database holds now (a refresh). Returns -1.
    virtual qint64 rerun() = 0;
    // The table the columns come from; looked up only when a grid asks to
    // edit the rows.
    virtual ResultOrigin origin() = 0;
    // Whether countRows() may count the rows: an engine that skips rows on
    // the server without sending them can also count them there.
    virtual bool canCount() const { return false; }
    // How many rows the statement returns now, counted without reading
    // them; -1 when they cannot be counted so. Gives up a read left
    // part-way; the next row read is then read again.
    virtual qint64 countRows() { return -1; }

protected:
    ResultColumns m_columns;
};

// A value read back after an insert, to find the stored row by: the rowid
// the engine gave it, or the values of the key columns it returned.
struct InsertedRow
{
    QVariant rowid;
    QVector<QVariant> key;
};

class DatabaseEngine
{
public:
    virtual ~DatabaseEngine() = default;

    virtual EngineKind kind() const = 0;

    // Runs one statement of a script, the command text as the script gives
    // it. The text must hold one statement (white space, comments and one
    // ";" may follow it) and no parameter, neither the engine's own nor a
    // mark of the tool's (":name" outside literals and comments, by the
    // engine's own quoting rules); both are checked first, by the engine's
    // own parser where it can tell: "Characters found after end of SQL
    // statement." and "No value given for one or more required
    // parameters." A data change on an engine that takes none fails with
    // readOnlyText().
    // Returns the open result, standing before its first row, when the
    // statement yields rows and `wantRows` is set; otherwise nullptr, with
    // `rowsAffected` the rows it changed (-1 when not known).
    virtual std::unique_ptr<EngineResult> run(const QString &commandText, bool wantRows,
                                              qint64 *rowsAffected) = 0;
    // Runs a short statement of the program's own, `binds` bound in order
    // to its marks (as writeMark() gives them), and reads all of its rows (a window of a table, a
    // row read back after an edit). Fills `columns` when given.
    virtual QVector<QVector<QVariant>> read(const QString &sql, const QVector<QVariant> &binds,
                                            ResultColumns *columns = nullptr) = 0;
    // Runs a data change of an edit, its marks as writeMark() gives them;
    // returns the rows it changed.
    virtual qint64 write(const QString &sql, const QVector<QVariant> &binds) = 0;
    // Runs an insert of an edit and tells how to find the stored row:
    // `keySql` are the table's key columns as SQL.
    virtual InsertedRow insert(const QString &insertSql, const QVector<QVariant> &binds,
                               const QStringList &keySql) = 0;
    virtual TableInfo tableInfo(const QString &schema, const QString &table) = 0;

    // The mark of the n-th (from 1) value bound to a statement of write()
    // or insert().
    virtual QString writeMark(int n) const = 0;
    // How a key column is compared with its mark: null-safe where the
    // engine's SQL has it.
    virtual QString keyComparison() const = 0;
    // Yes/no values are bound as booleans, not as 1 and 0.
    virtual bool typedBooleans() const = 0;
    // A column by which a table without a key is read in the order its
    // rows lie (no key to write back by); empty when the engine has none.
    virtual QString locationColumn() const { return QString(); }
    // Only one statement can be part-way through its rows at a time: before
    // any other statement runs, the reads left open are given up.
    virtual bool oneReadAtATime() const = 0;

    // A statement of the program's own (transaction control).
    virtual void runControl(const QString &statement) = 0;
    // Begins a transaction that will write: where the engine would
    // otherwise take its write lock only at the first change, and could
    // then fail at once because another program writes, it is taken here,
    // with the engine's usual wait for a lock.
    virtual void beginWriting() { runControl(QStringLiteral("BEGIN")); }
    virtual bool inTransaction() const = 0;
    // Stops the statement that runs now as soon as the engine can, a wait
    // for another program's lock included: the statement then fails. Safe
    // to call from inside the engine's own callbacks (the windows' keep-
    // alive) and from another thread. A statement started afterwards runs
    // as usual.
    virtual void interrupt() = 0;
    // The failure text of any data change when the engine takes none;
    // empty when it does.
    virtual QString readOnlyText() const { return QString(); }
    // What opening the database left out or changed on the way (the parts
    // of an Access file its copy cannot hold), one sentence each.
    virtual QStringList openNotes() const { return QStringList(); }
};

} // namespace rux
