#pragma once

#include <QString>

namespace rux {

// Table names as the "edit_table" command gives them and as the table
// object sends them to the engine. The parsers fail with a rux::Failure
// whose text names what is wrong.

// The bracket rule: a name holding a blank and not starting with "[" gets
// "[" at the start (or right after its first ".") and "]" at the end (or
// right before its first ";"). Other names stay as they are.
QString applyBracketRule(const QString &name);

// The table name of an "edit_table" batch (the batch text after
// "edit_table" and one character): white space removed at both ends. Fails
// when nothing is left or when further lines follow the name.
QString tableNameFromBatch(const QString &editTableText);

struct TableRef
{
    QString schema; // null when the name has no schema part
    QString table;
};

// "table" or "schema.table", each part bare, [bracketed] or "double-quoted"
// ("" standing for one quote). Fails with "Invalid table name: <name>" for
// anything else.
TableRef parseTableName(const QString &name);

// An identifier as SQL text: in double quotes, inner quotes doubled.
QString quoteIdentifier(const QString &identifier);

} // namespace rux
