#pragma once

#include <QString>

namespace rux {

// Hand editing of a table in the middle of a run: opens the table named by
// the text after "edit_table" in the table editor window and returns when
// the user has finished. Fails, before any window is shown, when the table
// cannot be opened.
class TableEditing
{
public:
    virtual ~TableEditing() = default;
    virtual void editTable(const QString &tname) = 0;
};

} // namespace rux
