#include "db/sqlite/sqltext.h"

#include "base/failure.h"

namespace rux {

namespace {

bool isQuote(QChar c)
{
    return c == u'\'' || c == u'"' || c == u'`';
}

bool endsMarkName(QChar c)
{
    return c == u' ' || c == u'\r' || c == u'\n' || c == u')' || c == u',' || c == u';';
}

// Position just after the literal that opens at `from` with the quote s[from]:
// the next same quote closes it (a doubled quote closes and reopens, which
// comes to the same); an unterminated literal runs to the end.
qsizetype skipQuoted(QStringView s, qsizetype from, QChar close)
{
    const qsizetype end = s.indexOf(close, from + 1);
    return end < 0 ? s.size() : end + 1;
}

// Position just after the stretch the engine does not read as statement
// text that opens at `from`: a literal or quoted name ('...', "...", `...`,
// [...]), a "--" comment up to the line's end, a "/* */" comment.
qsizetype skipUnread(QStringView s, qsizetype from)
{
    const QChar c = s[from];
    if (c == u'[')
        return skipQuoted(s, from, QLatin1Char(']'));
    if (c == u'-') {
        qsizetype i = from;
        while (i < s.size() && s[i] != u'\n' && s[i] != u'\r')
            ++i;
        return i;
    }
    if (c == u'/') {
        const qsizetype close = s.indexOf(QLatin1String("*/"), from + 2);
        return close < 0 ? s.size() : close + 2;
    }
    return skipQuoted(s, from, c);
}

// A character that continues a name: "$" inside a name belongs to it.
bool continuesName(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

} // namespace

qsizetype firstParameterMark(const QString &sql)
{
    const QStringView s(sql);
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        const QChar after = i + 1 < n ? s[i + 1] : QChar();
        if (isQuote(c) || c == u'[' || (c == u'-' && after == u'-') || (c == u'/' && after == u'*')) {
            i = skipUnread(s, i);
        } else if (c == u':') {
            if (after == u':') {
                i += 2;
                continue;
            }
            return i;
        } else if (c == u'?' || c == u'@' || (c == u'$' && (i == 0 || !continuesName(s[i - 1])))) {
            return i;
        } else {
            ++i;
        }
    }
    return -1;
}

MarkedText rewriteParameterMarks(const QString &sql)
{
    // Without a colon there is no mark, and the text stays as it is.
    if (!sql.contains(u':'))
        return MarkedText{sql, 0, {}};
    const QStringView s(sql);
    const qsizetype n = s.size();
    MarkedText out;
    out.text.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        const QChar after = i + 1 < n ? s[i + 1] : QChar();
        if (isQuote(c) || c == u'[' || (c == u'-' && after == u'-') || (c == u'/' && after == u'*')) {
            const qsizetype end = skipUnread(s, i);
            out.text += s.mid(i, end - i);
            i = end;
        } else if (c == u':') {
            if (i + 1 < n && s[i + 1] == u':') {
                out.text += QLatin1String("::");
                i += 2;
                continue;
            }
            ++i;
            if (i < n && (s[i] == u'"' || s[i] == u'\'')) {
                i = skipQuoted(s, i, s[i]);
            } else {
                while (i < n && !endsMarkName(s[i]))
                    ++i;
            }
            out.positions.append(out.text.size());
            out.text += QLatin1Char('?');
            ++out.marks;
        } else {
            out.text += c;
            ++i;
        }
    }
    return out;
}

} // namespace rux
