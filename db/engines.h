#pragma once

#include "db/engine.h"

#include <QString>

namespace rux {

// The engine a Data Source names, by the rule openEngine() follows,
// without opening anything: PostgreSQL for a postgresql:// URI, Access for
// a regular file whose first bytes say so (only they are read), SQLite for
// anything else, a missing file too.
EngineKind engineKindOf(const QString &dataSource);

// Reads a command text, as the script gives it to run(), by the rules of
// the engine `kind` without any database: SQLite's own parser on a
// database in memory for SQLite and the Access engine (whose copies are
// queried in SQLite's SQL); a reading of the text by the server's lexical
// rules for PostgreSQL. Nothing is opened, and no file is made.
OfflineReading readOffline(EngineKind kind, const QString &commandText);

// Opens the engine a Data Source names: a PostgreSQL server for a
// postgresql:// URI, an Access file (told by its header), otherwise an
// SQLite file. Throws Failure with the engine's text, naming the source.
std::unique_ptr<DatabaseEngine> openEngine(const QString &dataSource);

// The Data Source as it may be shown: a server URI with its password
// masked, anything else as it is.
QString shownDataSourceText(const QString &dataSource);

// A connection string the parser refused may have been cut at a ";" inside
// a server URI's password: fails with a text that quotes none of it. Does
// nothing for any other connection string.
void refuseBrokenServerUri(const QString &connectionString);

} // namespace rux
