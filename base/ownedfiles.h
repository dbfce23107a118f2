#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace rux {

// Files a process makes for a while only (a staged export, a database being
// built) carry in their name which process made them: "<prefix><owner>-"
// followed by six characters that make the name unique, where <owner> is
// the process id and the time it started ("4711.98231"). A process killed
// before it could tidy up leaves them behind; a later process that works
// in the same folder finds them by their prefix and removes those whose
// owner has ended. The start time tells a process that ended from a new
// one that got the same id.

// This process's owner mark.
QString ownerMark();

// The owner mark in a file name made with `prefix`; empty when the name
// does not carry one.
QString ownerMarkIn(const QString &fileName, const QString &prefix);

// The process the mark names has ended. A mark this process cannot read
// counts as a process that runs.
bool ownerEnded(const QString &mark);

// Creates an empty file named "<prefix><this process's mark>-XXXXXX" with
// the rights `mode`, whatever the umask. Returns its name; an empty array,
// with errno telling why, when it cannot be created.
QByteArray createOwnedFile(const QString &prefix, mode_t mode);

// The files in `folder` whose names start with `namePrefix` (no folder
// part) and whose owner has ended, as full paths.
QStringList filesLeftBehind(const QString &folder, const QString &namePrefix);

// Removes the files in `folder` that ended processes left with names
// starting with `namePrefix`. Returns how many were removed.
int removeFilesLeftBehind(const QString &folder, const QString &namePrefix);

} // namespace rux
