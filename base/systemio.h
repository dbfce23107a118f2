#pragma once

#include <QString>
#include <QtGlobal>

namespace rux {

// The system's text for an errno value.
QString systemErrorText(int error);

// Writes all `size` bytes at `data` to the file descriptor `fd`, again
// after an interrupted or partial write. 0, or the errno of the write that
// failed (EIO for one that wrote nothing).
int writeAll(int fd, const char *data, qsizetype size);

} // namespace rux
