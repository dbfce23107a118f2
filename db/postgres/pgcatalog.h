#pragma once

#include "db/engine.h"

#include <QVector>

namespace rux::pg {

class Session;

// What the server's catalog tells about tables, to edit rows in place. The
// lookups are commands of their own on the connection: the read standing
// part-way on it is given up first (Session::makeFree).

// The table or view of that name, its names spelled as the server has
// them (hasRowid false: its rows are found by their key). A name without
// schema is looked up along the search path; a name not found as written
// is tried once more in lower case, the way the server folds names written
// without quotes. Empty columns and null names when there is none.
TableInfo tableNamed(Session &session, const QString &schema, const QString &table);

// A result column's source as the server tells it: the pg_class oid of
// its table (0: none) and its column number there.
struct ColumnSource
{
    unsigned table = 0;
    int attnum = 0;
};

// When every column comes straight from one table: that table and the
// name of each column there. `valid` false otherwise.
ResultOrigin originOf(Session &session, const QVector<ColumnSource> &columns);

} // namespace rux::pg
