#pragma once

#include "db/access/mdbimport.h"

#include <QString>

namespace rux {

// Writes the user tables of the Access file `source` into a new SQLite
// database file `target`, by the same import that opening the Access file
// uses (types, names, keys, damage checks). The file is built under a
// hidden name beside the target, written to the disk, and only then given
// the target's name; a failure at any step, or a signal that ends the
// process, leaves no file behind. An existing target is never replaced.
// Throws Failure: with the texts of opening a database for a source that is
// missing, unreadable, damaged or not an Access file, and with the target's
// name for a target that exists or cannot be written.
AccessImport convertAccessFile(const QString &source, const QString &target);

// The file name offered as the SQLite copy of an Access file: the same
// name with ".db" in place of ".mdb" or ".accdb" (added to any other).
QString convertedFileName(const QString &accessFile);

// The command line that converts `accessFile` into `convertedFileName`,
// with both names in single quotes for a POSIX shell.
QString convertCommand(const QString &accessFile);

} // namespace rux
