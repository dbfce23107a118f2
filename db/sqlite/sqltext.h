#pragma once

#include <QList>
#include <QString>

namespace rux {

// Rules over the SQL text that the query sends to the engine.

struct MarkedText
{
    QString text;
    int marks = 0;
    // Where each "?" that replaced a mark stands in `text`.
    QList<qsizetype> positions;
};

// Parameter marks: outside '...', "...", `...` and [...] literals and names
// and outside "--" and "/* */" comments, a ":" that is not followed by ":"
// starts a mark; the colon and the name (a quoted name, or the
// text up to a space, CR, LF, ")", "," or ";") become "?". "::" stays as it is
// (a PostgreSQL cast). `marks` counts the marks rewritten.
MarkedText rewriteParameterMarks(const QString &sql);

} // namespace rux
