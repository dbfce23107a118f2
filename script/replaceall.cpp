#include "script/replaceall.h"

#include <QVarLengthArray>

namespace rux {

namespace {

// The upper case of one UTF-16 code unit. A surrogate half maps to itself, so
// the upper-cased copy always has the length of the original.
inline char16_t upperUnit(char16_t c)
{
    if (c < 0x80)
        return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
    const char32_t u = QChar::toUpper(char32_t(c));
    return u <= 0xFFFF ? char16_t(u) : c;
}

// True when the upper-cased pattern stands at `at` in the text.
inline bool matchesAt(const QChar *text, qsizetype at, const char16_t *upper, qsizetype length)
{
    for (qsizetype k = 1; k < length; ++k) {
        if (upperUnit(text[at + k].unicode()) != upper[k])
            return false;
    }
    return true;
}

} // namespace

bool startsWithIgnoreCase(const QString &text, qsizetype at, const QString &pattern)
{
    const qsizetype m = pattern.size();
    if (m == 0 || at < 0 || at > text.size() - m)
        return false;
    for (qsizetype k = 0; k < m; ++k) {
        if (upperUnit(text[at + k].unicode()) != upperUnit(pattern[k].unicode()))
            return false;
    }
    return true;
}

QString replaceAllIgnoreCase(const QString &text, const QString &pattern, const QString &replacement)
{
    const qsizetype m = pattern.size();
    const qsizetype n = text.size();
    if (m == 0 || n < m)
        return text;

    QVarLengthArray<char16_t, 128> upper(m);
    for (qsizetype k = 0; k < m; ++k)
        upper[k] = upperUnit(pattern[k].unicode());

    const QChar *src = text.constData();
    const char16_t first = upper[0];
    QString out;
    qsizetype copied = 0;  // text before this position is in `out`; 0 until the first match
    qsizetype i = 0;
    while (i <= n - m) {
        if (upperUnit(src[i].unicode()) == first && matchesAt(src, i, upper.constData(), m)) {
            if (copied == 0)
                out.reserve(n + qMax<qsizetype>(0, replacement.size() - m));
            out.append(src + copied, i - copied);
            out.append(replacement);
            i += m;
            copied = i;
        } else {
            ++i;
        }
    }
    if (copied == 0)
        return text;
    out.append(src + copied, n - copied);
    return out;
}

} // namespace rux
