#pragma once

#include <QString>

#include <mdbtools.h>

namespace rux {

// "Could not read the Access file '<fileName>': <what>": every failure that
// blames the source of an import.
QString accessReadFailureText(const QString &fileName, const QString &what);

// Reads the catalog of `mdb` (every object type) and checks it against the
// file `fileName`: a file cut short (an interrupted copy) loses catalog rows
// and tables without libmdb noticing. Throws Failure naming what is wrong.
void readCheckedCatalog(MdbHandle *mdb, const QString &fileName);

// A damaged definition can give a column without a name, or two of one
// name; throws Failure then.
void checkColumnNames(MdbTableDef *table, const QString &fileName, const QString &tableName);

} // namespace rux

