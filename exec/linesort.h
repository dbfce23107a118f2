#pragma once

#include <QString>

namespace rux {

// How the script runner sorts one editor line. The tests run in this order
// and the first that applies decides:
//   Dropped    the line holds "#" anywhere (treated like an empty line);
//   Empty      the line has no characters;
//   Comment    the very first character is an apostrophe;
//   BatchEnd   the line, without the characters U+0000 to U+0020 at both
//              ends, is exactly "go" (small letters only);
//   Statement  anything else, also a line of blanks only.
enum class LineKind { Dropped, Empty, Comment, BatchEnd, Statement };

LineKind sortLine(const QString &line);

// A statement line that holds "drop" (small letters, anywhere, also inside
// a longer word or a literal) makes its batch run with failures silenced.
bool protectsBatch(const QString &statementLine);
// Where that "drop" stands in the line; -1 when it holds none.
qsizetype dropPosition(const QString &statementLine);

} // namespace rux
