#pragma once

#include <QString>

namespace rux {

// Replaces every occurrence of `pattern` in `text` by `replacement`, ignoring
// letter case. Both are compared upper-cased one UTF-16 code unit at a time
// (QChar::toUpper), so a letter whose full upper case is longer ("ß") stays
// one unit and every position found is valid in `text` itself. The search
// runs from left to right and goes on behind each match: matches do not
// overlap and inserted text is not searched again. An empty pattern replaces
// nothing. When nothing matches, `text` is returned as it is (shared, no copy).
QString replaceAllIgnoreCase(const QString &text, const QString &pattern, const QString &replacement);

// Whether `pattern` stands at `at` in `text`, compared as
// replaceAllIgnoreCase compares. False for an empty pattern.
bool startsWithIgnoreCase(const QString &text, qsizetype at, const QString &pattern);

} // namespace rux
