#pragma once

#include "db/engine.h"

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

// Where the first parameter stands that would be sent without a value: a
// mark of the tool's (as holdsToolMark() finds it), or a "$" that starts a
// word without opening a dollar-quoted string ("$1", or what is left of a
// script parameter). -1 when there is none.
qsizetype firstParameterMark(QStringView text);

// The first character of the text that is not a blank, a line break, a ";"
// or inside a comment: where a statement begins. -1 when there is none.
qsizetype firstStatementChar(QStringView text);

// What the server's lexical rules tell of a command text before it is
// sent: a NUL character, no statement at all, a parameter without a value.
// Whether it returns rows only the server's parser can tell: unknown.
OfflineReading readOffline(const QString &commandText);

} // namespace rux::pg
