#include "db/sqlite/sqltext.h"

#include "script/failure.h"
#include "script/textfold.h"

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

} // namespace

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
        if (isQuote(c)) {
            const qsizetype end = skipQuoted(s, i, c);
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

namespace {

enum class TokenKind { Space, Semicolon, Word, Other };

struct Token
{
    TokenKind kind;
    qsizetype begin;
    qsizetype end;
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isWordChar(QChar c)
{
    return isWordStart(c) || c.isDigit() || c == u'$';
}

bool isTagStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'
        || c.unicode() >= 0x80;
}

bool isTagChar(QChar c)
{
    return isTagStart(c) || (c >= u'0' && c <= u'9');
}

bool isWhite(QChar c)
{
    return c.unicode() <= 0x20 || c.isSpace();
}

// Splits SQL text into the tokens that matter for finding where a statement
// ends: literals of every kind are single Other tokens, comments count as
// white space.
class Lexer
{
public:
    explicit Lexer(QStringView text) : m_s(text) {}

    bool next(Token &token)
    {
        const qsizetype n = m_s.size();
        if (m_pos >= n)
            return false;
        const qsizetype begin = m_pos;
        const QChar c = m_s[m_pos];
        TokenKind kind = TokenKind::Other;
        if (isWhite(c)) {
            while (m_pos < n && isWhite(m_s[m_pos]))
                ++m_pos;
            kind = TokenKind::Space;
        } else if (c == u'-' && m_pos + 1 < n && m_s[m_pos + 1] == u'-') {
            while (m_pos < n && m_s[m_pos] != u'\n' && m_s[m_pos] != u'\r')
                ++m_pos;
            kind = TokenKind::Space;
        } else if (c == u'/' && m_pos + 1 < n && m_s[m_pos + 1] == u'*') {
            const qsizetype close = m_s.indexOf(QLatin1String("*/"), m_pos + 2);
            m_pos = close < 0 ? n : close + 2;
            kind = TokenKind::Space;
        } else if (c == u';') {
            ++m_pos;
            kind = TokenKind::Semicolon;
        } else if (c == u'\'' || c == u'"' || c == u'`') {
            m_pos = skipQuoted(m_s, m_pos, c);
        } else if (c == u'[') {
            m_pos = skipQuoted(m_s, m_pos, QLatin1Char(']'));
        } else if (c == u'$' && skipDollarQuoted()) {
            // m_pos already stands after the closing tag.
        } else if (isWordStart(c)) {
            while (m_pos < n && isWordChar(m_s[m_pos]))
                ++m_pos;
            kind = TokenKind::Word;
        } else {
            ++m_pos;
        }
        token = Token{kind, begin, m_pos};
        return true;
    }

private:
    // $tag$ ... $tag$ with an empty or identifier-like tag; "$1" and a lone
    // "$" open nothing and leave the position unchanged.
    bool skipDollarQuoted()
    {
        const qsizetype n = m_s.size();
        qsizetype i = m_pos + 1;
        if (i < n && isTagStart(m_s[i])) {
            while (i < n && isTagChar(m_s[i]))
                ++i;
        }
        if (i >= n || m_s[i] != u'$')
            return false;
        const QStringView tag = m_s.mid(m_pos, i + 1 - m_pos);
        const qsizetype close = m_s.indexOf(tag, i + 1);
        m_pos = close < 0 ? n : close + tag.size();
        return true;
    }

    QStringView m_s;
    qsizetype m_pos = 0;
};

// Where a statement stands with respect to CREATE TRIGGER, after the manner
// of SQLite's sqlite3_complete(): in a trigger body semicolons separate the
// body's statements, and only END followed by ";" (or the end of the text)
// closes it. An END that does not follow a ";" (CASE ... END) leaves the body
// open.
enum class TriggerState { Start, Normal, Create, Body, BodySemicolon, BodyEnd };

[[noreturn]] void failSecondStatement()
{
    throw Failure(QStringLiteral("Characters found after end of SQL statement."));
}

[[noreturn]] void failNoStatement()
{
    throw Failure(QStringLiteral("Invalid SQL statement: the command text holds no statement."));
}

} // namespace

QString singleStatementText(const QString &sql)
{
    const QStringView s(sql);
    Lexer lexer(s);
    Token token{};
    TriggerState state = TriggerState::Start;
    qsizetype statementEnd = -1; // end of the statement's last token
    bool ended = false;
    while (lexer.next(token)) {
        if (token.kind == TokenKind::Space)
            continue;
        if (ended)
            failSecondStatement();
        if (token.kind == TokenKind::Semicolon) {
            switch (state) {
            case TriggerState::Start:
                // An empty first statement: a statement after it is a second
                // one; semicolons alone still make no statement.
                while (lexer.next(token)) {
                    if (token.kind != TokenKind::Space && token.kind != TokenKind::Semicolon)
                        failSecondStatement();
                }
                failNoStatement();
            case TriggerState::Body:
            case TriggerState::BodySemicolon:
                state = TriggerState::BodySemicolon;
                statementEnd = token.end;
                break;
            case TriggerState::Normal:
            case TriggerState::Create:
            case TriggerState::BodyEnd:
                ended = true;
                break;
            }
            continue;
        }
        statementEnd = token.end;
        if (state == TriggerState::Normal || state == TriggerState::Body)
            continue;
        const QString word = token.kind == TokenKind::Word
            ? asciiUpper(s.mid(token.begin, token.end - token.begin))
            : QString();
        switch (state) {
        case TriggerState::Start:
            state = word == QLatin1String("CREATE") ? TriggerState::Create : TriggerState::Normal;
            break;
        case TriggerState::Normal:
        case TriggerState::Body:
            break;
        case TriggerState::Create:
            if (word == QLatin1String("TRIGGER"))
                state = TriggerState::Body;
            else if (word != QLatin1String("TEMP") && word != QLatin1String("TEMPORARY"))
                state = TriggerState::Normal;
            break;
        case TriggerState::BodySemicolon:
            state = word == QLatin1String("END") ? TriggerState::BodyEnd : TriggerState::Body;
            break;
        case TriggerState::BodyEnd:
            state = TriggerState::Body;
            break;
        }
    }
    if (statementEnd < 0)
        failNoStatement();
    return sql.left(statementEnd);
}

} // namespace rux
