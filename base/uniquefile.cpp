#include "base/uniquefile.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace rux {

QByteArray createUniqueFile(const QString &prefix, mode_t mode)
{
    QByteArray name = QFile::encodeName(prefix) + "XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return QByteArray();
    ::fchmod(fd, mode);
    ::close(fd);
    return name;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace rux
