#pragma once

#include <QStringList>

#include <mdbtools.h>

namespace rux {

// What the copy of the Access file `mdb` cannot hold, one sentence each:
// linked tables (their data is in another file), and the complex columns
// of the user tables, which hold only a key into values the engine keeps
// in hidden tables of its own: the files of an attachment column, the
// values of a multi-value column, the earlier versions of an append-only
// memo. Works on the catalog `mdb` holds, read with every object type
// (readCheckedCatalog()).
QStringList leftOutNotes(MdbHandle *mdb);

} // namespace rux

