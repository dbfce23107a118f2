#pragma once

#include "db/engine.h"

#include <QString>

namespace rux {

// Reads a command text by SQLite's own parser, on a database in memory of
// its own (no file), the way SqliteEngine::run() reads it before it runs:
// the tool's marks rewritten, the first statement prepared, what follows it
// prepared too.
//   - A syntax error (the parser's "syntax error", "unrecognized token",
//     "incomplete input") is certain, in the engine's words.
//   - Any other refusal names what only a database holds (a table, a
//     column, a function, a collation): the rows are then unknown, and only
//     a parameter mark found in the text is certain to fail.
//   - Prepared, the statement's result columns tell whether it returns
//     rows; a parameter left to bind, no statement at all and text after
//     the first statement fail with the engine's texts.
OfflineReading readSqliteOffline(const QString &commandText);

} // namespace rux
