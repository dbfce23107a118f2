#include "base/systemio.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace rux {

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        size -= n;
    }
    return 0;
}

} // namespace rux
