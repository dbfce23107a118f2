#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class QSqlDatabase;
class QSqlError;

namespace rux::pg {

// What the PostgreSQL engine tells about a statement before it runs, and
// the catalog facts the query and table objects need to edit rows in place.
// Every function here runs on an open QPSQL connection on which no other
// statement is part-way through its rows; failures are rux::Failure
// exceptions carrying the server's message text.

// The server's notices (NOTICE, WARNING that come with a statement that
// succeeded) are dropped: libpq would print them on standard error.
void dropNotices(const QSqlDatabase &db);

// A transaction block is open on the connection (failed ones included).
bool inTransaction(const QSqlDatabase &db);

// The server's message of a failed QPSQL call as one line: the primary
// message without its severity word, then its detail, if any.
QString serverText(const QSqlError &error);

// A parameter mark of the tool's own (rewritten to "?", at `markPositions`
// of `sent`) that stands in the statement itself, outside comments and
// literals, never gets a value: fails with the engine's wording for a
// statement left with unbound parameters.
void refuseParameterMarks(const QString &sent, const QList<qsizetype> &markPositions);

// One result column as the server describes it.
struct Column
{
    unsigned table = 0; // pg_class oid of the column's table, 0 when none
    int attnum = 0;     // its column number in that table
    unsigned type = 0;  // pg_type oid
    int typmod = -1;
};

// Parses `statement` on the server without running it and describes its
// result columns. Fails with the server's text when the statement is not
// valid, and with "No value given for one or more required parameters."
// when it holds parameters ($1 ...).
QVector<Column> describe(const QSqlDatabase &db, const QString &statement);

// A yes/no column: boolean (and bit(1)).
bool isYesNo(const Column &column);
// A numeric column, whose values arrive as exact decimal text.
bool isDecimal(const Column &column);

struct Table
{
    bool exists = false;
    QString schema;
    QString table;
    QStringList columns;    // in table order
    QStringList primaryKey; // in key order; empty: none
    bool isView = false;    // anything but a plain or partitioned table
};

// The table or view of that name. A name without schema is looked up along
// the search path; a name that is not found as written is tried once more
// in lower case, the way the server folds names written without quotes.
Table tableNamed(const QSqlDatabase &db, const QString &schema, const QString &table);

// When every column of a described result comes straight from one table:
// that table and the name of each column's origin. `exists` false
// otherwise.
struct Origin
{
    Table table;
    QStringList columns;
};
Origin originOf(const QSqlDatabase &db, const QVector<Column> &columns);

// What a command sent with runCommand came to.
struct Outcome
{
    bool ok = false;
    QString text;      // the server's message when it failed
    QString sqlState;  // its error code
    qint64 rowsAffected = -1;
    QStringList firstRow; // the first row returned, as text (null: NULL)
};

// Sends one command (parameters $1, $2, ... as text, typed by the server)
// and waits for the answer on the connection's socket, keeping the windows
// alive meanwhile (keepalive.h), so that a long statement or a wait for
// another session's lock does not freeze them.
Outcome runCommand(const QSqlDatabase &db, const QString &command,
                   const QVector<QVariant> &parameters = {});

} // namespace rux::pg
