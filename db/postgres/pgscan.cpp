#include "db/postgres/pgscan.h"

namespace rux::pg {

namespace {

bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

bool isTagStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c.unicode() >= 0x80;
}

bool isTagChar(QChar c)
{
    return isTagStart(c) || (c >= u'0' && c <= u'9');
}

// Each function below starts at the opening character of its form and
// returns the position after its end (the text's end when it is left open).

qsizetype afterLineComment(QStringView s, qsizetype i)
{
    while (i < s.size() && s[i] != u'\n' && s[i] != u'\r')
        ++i;
    return i;
}

qsizetype afterBlockComment(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    int depth = 0;
    while (i < n) {
        if (s[i] == u'/' && i + 1 < n && s[i + 1] == u'*') {
            ++depth;
            i += 2;
        } else if (s[i] == u'*' && i + 1 < n && s[i + 1] == u'/') {
            i += 2;
            if (--depth == 0)
                return i;
        } else {
            ++i;
        }
    }
    return n;
}

// A '...' literal; `escapes`: an E'...' one, in which a backslash takes the
// character after it.
qsizetype afterLiteral(QStringView s, qsizetype i, bool escapes)
{
    const qsizetype n = s.size();
    ++i;
    while (i < n) {
        if (escapes && s[i] == u'\\') {
            i += 2;
        } else if (s[i] == u'\'') {
            if (i + 1 < n && s[i + 1] == u'\'')
                i += 2;
            else
                return i + 1;
        } else {
            ++i;
        }
    }
    return n;
}

qsizetype afterQuotedName(QStringView s, qsizetype i)
{
    // A doubled "" closes the name and opens it again at once: the same.
    const qsizetype close = s.indexOf(u'"', i + 1);
    return close < 0 ? s.size() : close + 1;
}

// A $tag$ opening at i: the position after its closing tag; -1 when the
// "$" opens no dollar quote ($1, a "$" inside a name).
qsizetype afterDollarQuote(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    qsizetype j = i + 1;
    if (j < n && isTagStart(s[j])) {
        while (j < n && isTagChar(s[j]))
            ++j;
    }
    if (j >= n || s[j] != u'$')
        return -1;
    const QStringView tag = s.mid(i, j + 1 - i);
    const qsizetype close = s.indexOf(tag, j + 1);
    return close < 0 ? n : close + tag.size();
}

} // namespace

// Calls visit(i) for each character the server reads as statement text,
// passing over the rest; visit gives the position to go on from, or -1 to
// stop there. Returns where it stopped; -1 at the end of the text.
template <typename Visit>
qsizetype scanStatementText(QStringView s, Visit visit)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        const QChar next = i + 1 < n ? s[i + 1] : QChar();
        if (c == u'-' && next == u'-') {
            i = afterLineComment(s, i);
        } else if (c == u'/' && next == u'*') {
            i = afterBlockComment(s, i);
        } else if (c == u'\'') {
            // E'...' only where the E stands alone, not at the end of a
            // longer name ("note'...'" is no escape literal).
            const bool escapes = i > 0 && (s[i - 1] == u'e' || s[i - 1] == u'E')
                && (i < 2 || !isIdentChar(s[i - 2]));
            i = afterLiteral(s, i, escapes);
        } else if (c == u'"') {
            i = afterQuotedName(s, i);
        } else if (const qsizetype after = c == u'$' && (i == 0 || !isIdentChar(s[i - 1]))
                       ? afterDollarQuote(s, i)
                       : -1;
                   after >= 0) {
            i = after;
        } else {
            const qsizetype on = visit(i);
            if (on < 0)
                return i;
            i = on;
        }
    }
    return -1;
}

namespace {

// Visits a ":" as holdsToolMark() reads it: -1 where it starts a mark, the
// position after it where it is a cast.
qsizetype afterColon(QStringView s, qsizetype i)
{
    const qsizetype n = s.size();
    if (i + 1 >= n || s[i + 1] != u':')
        return -1;
    // A cast; a third ":" right after it belongs to it too.
    i += 2;
    while (i < n && s[i] == u':')
        ++i;
    return i;
}

} // namespace

bool holdsToolMark(QStringView s)
{
    return scanStatementText(s, [s](qsizetype i) -> qsizetype { return s[i] == u':' ? afterColon(s, i) : i + 1; })
        >= 0;
}

qsizetype firstParameterMark(QStringView s)
{
    return scanStatementText(s, [s](qsizetype i) -> qsizetype {
        if (s[i] == u':')
            return afterColon(s, i);
        // A "$" inside a name belongs to it; one that opens a dollar quote
        // was passed over before it came here.
        if (s[i] == u'$' && (i == 0 || !isIdentChar(s[i - 1])))
            return -1;
        return i + 1;
    });
}

qsizetype firstStatementChar(QStringView s)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        const QChar next = i + 1 < n ? s[i + 1] : QChar();
        if (c.isSpace() || c == u';')
            ++i;
        else if (c == u'-' && next == u'-')
            i = afterLineComment(s, i);
        else if (c == u'/' && next == u'*')
            i = afterBlockComment(s, i);
        else
            return i;
    }
    return -1;
}

OfflineReading readOffline(const QString &commandText)
{
    OfflineReading reading;
    const auto lineOf = [&commandText](qsizetype at) {
        return int(QStringView(commandText).left(at).count(u'\n'));
    };
    const qsizetype nul = commandText.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        reading.failure = kNulCharacterText;
        reading.line = lineOf(nul);
    } else if (firstStatementChar(commandText) < 0) {
        reading.rows = OfflineReading::Rows::No;
        reading.failure = kNoStatementText;
    } else if (const qsizetype mark = firstParameterMark(commandText); mark >= 0) {
        reading.failure = kNoValueText;
        reading.line = lineOf(mark);
    }
    return reading;
}

qsizetype firstSemicolon(QStringView s)
{
    return scanStatementText(s, [s](qsizetype i) -> qsizetype { return s[i] == u';' ? -1 : i + 1; });
}

} // namespace rux::pg
