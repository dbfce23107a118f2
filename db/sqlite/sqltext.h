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

// Where the first parameter the engine would be asked to bind stands,
// outside the literals, quoted names and comments above: a mark of the
// tool's (a ":" that is not part of "::"), or one of the engine's own ("?",
// "@", and a "$" that does not continue a name). -1 when there is none.
qsizetype firstParameterMark(const QString &sql);

} // namespace rux
