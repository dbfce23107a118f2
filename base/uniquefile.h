#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace rux {

// Creates an empty file under a name no other file has: `prefix` followed
// by six characters chosen to make it unique. The file gets the rights
// `mode`, whatever the umask. Returns its name; an empty array, with errno
// telling why, when it cannot be created.
QByteArray createUniqueFile(const QString &prefix, mode_t mode);

// The rights a new file gets when it is opened for writing: 0666 less the
// process's umask.
mode_t newFileMode();

} // namespace rux
