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

// Parameter marks: outside '...', "..." and `...` literals, a ":" that is not
// followed by ":" starts a mark; the colon and the name (a quoted name, or the
// text up to a space, CR, LF, ")", "," or ";") become "?". "::" stays as it is
// (a PostgreSQL cast). `marks` counts the marks rewritten.
MarkedText rewriteParameterMarks(const QString &sql);

// One statement per command text: the text of the first statement, without
// the white space, comments and the one ";" that may follow it. Fails with a
// rux::Failure when a second statement follows, or when the text holds no
// statement at all. A ";" inside a CREATE TRIGGER body does not end the
// statement.
QString singleStatementText(const QString &sql);

} // namespace rux
