#pragma once

#include <QStringView>

namespace rux::pg {

// Reads a command text the way the server's lexer does, to find what the
// server itself cannot tell: a parameter mark of the tool's own (":name"),
// which the script was meant to fill in and never did.
//
// Text the server does not read as statement text is passed over:
// '...' literals ('' doubled inside), E'...' literals with their backslash
// escapes, "..." quoted names, $tag$...$tag$ dollar-quoted strings ($1 is a
// parameter, not a quote), -- comments to the end of the line and /* */
// comments, which nest. Outside them a ":" that neither follows nor is
// followed by another ":" starts a mark; "::" is a cast.
bool holdsToolMark(QStringView text);

// Where the first statement of the text ends: its first ";" outside every
// form above; -1 when there is none.
qsizetype firstSemicolon(QStringView text);

} // namespace rux::pg
