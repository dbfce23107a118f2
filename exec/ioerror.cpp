#include "exec/ioerror.h"

#include <cerrno>

namespace rux {

QString ioErrorText(int code)
{
    switch (code) {
    case kIoFileNotFound:
        return QStringLiteral("Die angegebene Datei wurde nicht gefunden");
    case kIoInvalidFileName:
        // "%s" is part of the text as the system shows it, not a placeholder.
        return QStringLiteral("Ungültiger Dateiname - %s");
    case kIoTooManyOpenFiles:
        return QStringLiteral("Zu viele geöffnete Dateien");
    case kIoAccessDenied:
        return QStringLiteral("Dateizugriff verweigert");
    case kIoReadPastEnd:
        return QStringLiteral("Versuch hinter dem Dateiende zu lesen");
    case kIoDiskFull:
        return QStringLiteral("Zu wenig Speicherplatz");
    case kIoInvalidNumber:
        return QStringLiteral("Ungültige numerische Eingabe");
    default:
        return QStringLiteral("E/A-Fehler %1").arg(code);
    }
}

int ioErrorCode(int posixErrno, bool creatingFile)
{
    switch (posixErrno) {
    case ENOENT:
        return creatingFile ? kIoInvalidFileName : kIoFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return kIoInvalidFileName;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
        return kIoAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kIoDiskFull;
    case EMFILE:
    case ENFILE:
        return kIoTooManyOpenFiles;
    default:
        return kIoErrnoBase + posixErrno;
    }
}

} // namespace rux
