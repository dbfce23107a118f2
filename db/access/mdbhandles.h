#pragma once

#include <memory>

#ifndef Q_OS_WIN

#include <mdbtools.h>

namespace rux {

// libmdb's handles, closed when they go.
struct MdbCloser
{
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableCloser
{
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableCloser>;

} // namespace rux

#endif
