#pragma once

#include <QByteArray>
#include <QChar>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace rux {

// Reads the rows of a running SQLite statement straight from the engine:
// the cursor of every statement the program runs on SQLite (a script's
// result, an export, the grid's windows, an edit).
//
// The statement stays owned by whoever prepared it. The values read
// through this cursor are those the program has always read (through Qt's
// SQLite driver before): integers as qlonglong, reals as double, text as
// QString, blobs as QByteArray, NULL as a null QString; and the text it
// appends is exactly the AsString of such a value (valueAsString) in the
// export's code page.
class SqliteCursor
{
public:
    SqliteCursor(sqlite3 *db, sqlite3_stmt *statement) : m_db(db), m_statement(statement) {}

    // Moves to the next row. At the end of the rows the statement is reset,
    // which gives up its read on the database, and false is returned. An
    // engine failure resets the statement as well and throws Failure with
    // the engine's text.
    bool step();

    // The value of a column (from 0) of the current row.
    QVariant value(int column) const;

    // Appends the AsString of a column of the current row, encoded as the
    // export encodes it (encodeAnsi), to `out`.
    void appendAnsiText(int column, bool yesNoColumn, QChar decimalPoint, QByteArray &out) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement;
};

// Where a further statement starts in the text from `rest` to `end`, the
// rest of a batch after its first statement; null when that rest holds
// blanks, comments and empty statements only, as the engine requires. The
// text is UTF-8 or UTF-16, as it was prepared.
const char *furtherStatement(sqlite3 *db, const char *rest, const char *end);
const char16_t *furtherStatement(sqlite3 *db, const char16_t *rest, const char16_t *end);

} // namespace rux
