#pragma once

#include <memory>

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

