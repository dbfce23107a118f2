#pragma once

#include <QString>

namespace rux {

// The input/output errors of the export file. Codes are those of the
// Windows file system, whose messages the tool shows:
//   2 file not found, 3 folder not found or name too long, 4 too many open
//   files, 5 access denied, 100 read past the end, 101 disk full,
//   106 invalid numeric input; any other code n reads "E/A-Fehler n".
QString ioErrorText(int code);

// The code for a POSIX errno. creatingFile tells that the error came from
// opening a file for writing with O_CREAT, where a missing name means a
// missing folder on the way to it.
//   ENOENT            3 when creating, else 2
//   ENOTDIR           3 (a part of the path is not a folder)
//   ENAMETOOLONG      3
//   EACCES, EPERM, EISDIR, EROFS, ETXTBSY    5
//   ENOSPC, EDQUOT, EFBIG                    101
//   EMFILE, ENFILE                           4
// Any other errno e gives 1000 + e: its message "E/A-Fehler 10xx" then
// shows a number that cannot be taken for one of the codes above, while the
// errno can still be read off it.
int ioErrorCode(int posixErrno, bool creatingFile);

// The codes with a text of their own.
constexpr int kIoFileNotFound = 2;
constexpr int kIoInvalidFileName = 3;
constexpr int kIoTooManyOpenFiles = 4;
constexpr int kIoAccessDenied = 5;
constexpr int kIoReadPastEnd = 100;
constexpr int kIoDiskFull = 101;
constexpr int kIoInvalidNumber = 106;
// The offset added to an errno without a code of its own.
constexpr int kIoErrnoBase = 1000;

} // namespace rux
