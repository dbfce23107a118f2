#include "db/postgres/libpq.h"

#include "base/failure.h"

#include <dlfcn.h>

namespace rux::pg {

namespace {

Libpq loadLibpq()
{
    Libpq lib;
    // The library as loaded already (by a test's own connection), or else a
    // fresh load of it.
    void *handle = dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        handle = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        lib.failure = QString::fromLocal8Bit(dlerror());
        return lib;
    }
#define RUX_LIBPQ_LOOKUP(name)                                                                     \
    lib.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                          \
    if (!lib.name) {                                                                               \
        lib.failure = QString::fromLocal8Bit(dlerror());                                           \
        return lib;                                                                                \
    }
    RUX_LIBPQ_FUNCTIONS(RUX_LIBPQ_LOOKUP)
#undef RUX_LIBPQ_LOOKUP
    return lib;
}

} // namespace

const Libpq &libpq()
{
    static const Libpq lib = loadLibpq();
    if (!lib.failure.isEmpty())
        throw Failure(QStringLiteral("The PostgreSQL client library libpq cannot be used: ") + lib.failure);
    return lib;
}

} // namespace rux::pg
