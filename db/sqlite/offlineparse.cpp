#include "db/sqlite/offlineparse.h"

#include "db/sqlite/sqlitecursor.h"
#include "db/sqlite/sqltext.h"

#include <QByteArray>
#include <QHash>

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace rux {

namespace {

// The database in memory that statements are prepared on: opened on first
// use, kept for the program's life. Nothing is ever run on it.
sqlite3 *memoryDatabase()
{
    struct Closer
    {
        void operator()(sqlite3 *db) const { sqlite3_close(db); }
    };
    static const std::unique_ptr<sqlite3, Closer> db = []() {
        sqlite3 *handle = nullptr;
        if (sqlite3_open_v2(":memory:", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) != SQLITE_OK) {
            sqlite3_close(handle);
            handle = nullptr;
        }
        return std::unique_ptr<sqlite3, Closer>(handle);
    }();
    return db.get();
}

// The refusals the parser gives before it looks up any name: the same on
// every database.
bool isParserRefusal(const QString &message)
{
    return message.contains(QLatin1String("syntax error")) || message.startsWith(QLatin1String("unrecognized token"))
        || message == QLatin1String("incomplete input");
}

// The line (from 0) of byte `at` of UTF-8 text; -1 for a negative offset.
int lineOfByte(const QByteArray &text, qsizetype at)
{
    if (at < 0)
        return -1;
    return int(std::count(text.cbegin(), text.cbegin() + qMin(at, text.size()), '\n'));
}

int lineOfChar(const QString &text, qsizetype at)
{
    if (at < 0)
        return -1;
    return int(QStringView(text).left(qMin(at, text.size())).count(u'\n'));
}

// The first byte of `rest` that is no blank, line break or comment: where a
// further statement begins.
qsizetype startOfRest(const char *begin, const char *rest, const char *end)
{
    const char *p = rest;
    while (p < end) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ';') {
            ++p;
        } else if (*p == '-' && p + 1 < end && p[1] == '-') {
            while (p < end && *p != '\n')
                ++p;
        } else if (*p == '/' && p + 1 < end && p[1] == '*') {
            p += 2;
            while (p + 1 < end && !(p[0] == '*' && p[1] == '/'))
                ++p;
            p = p + 2 < end ? p + 2 : end;
        } else {
            break;
        }
    }
    return p - begin;
}

using StatementOwner = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_'
        || u == u'$' || u >= 0x80;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// A character that starts no comment, quoted part or number.
bool isPlain(QChar c)
{
    switch (c.unicode()) {
    case u'-':
    case u'/':
    case u'"':
    case u'`':
    case u'[':
    case u'\'':
    case u'.':
        return false;
    default:
        return !isDigit(c);
    }
}

// Where the number that starts at `i` ends, by the tokenizer's rule:
// digits, a point and digits, an exponent. `isFloat` tells a point or an
// exponent. A hexadecimal number, and a number run on by a name character
// (which the tokenizer refuses), give -1: they are kept as written.
qsizetype numberEnd(QStringView t, qsizetype i, bool *isFloat)
{
    const qsizetype n = t.size();
    if (t[i] == u'0' && i + 1 < n && (t[i + 1] == u'x' || t[i + 1] == u'X'))
        return -1;
    *isFloat = false;
    while (i < n && isDigit(t[i]))
        ++i;
    if (i < n && t[i] == u'.') {
        *isFloat = true;
        ++i;
        while (i < n && isDigit(t[i]))
            ++i;
    }
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (t[j] == u'+' || t[j] == u'-'))
            ++j;
        if (j < n && isDigit(t[j])) {
            *isFloat = true;
            i = j;
            while (i < n && isDigit(t[i]))
                ++i;
        }
    }
    return i < n && isNameChar(t[i]) ? -1 : i;
}

// Whether the name is ORDER, GROUP or LIKELIHOOD, in any case: the words
// after which a number's text may change the parser's answer.
bool keepsNumbers(QStringView name)
{
    if (name.size() != 5 && name.size() != 10)
        return false;
    return name.compare(QLatin1String("order"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("group"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("likelihood"), Qt::CaseInsensitive) == 0;
}

// Writes the statement with every value literal written as one of its kind
// ('' for a string, 1 for an integer, 1.0 for a real) into `shape`:
// statements alike but for their values share it. The parser's answer does
// not hang on a value's text, with three exceptions that keep numbers as
// written: the place of an ORDER BY or GROUP BY term and likelihood()'s
// probability. Blob literals, names, comments and parameters stay as
// written. `shape` keeps its room from one statement to the next: a long
// script does not allocate a shape per statement.
//
// With `numbers`, numbers are written in their shape too; false when one
// of those words then stands in the statement (the shape must be written
// again, without `numbers`).
bool writeValueShape(QStringView t, QString &shape, bool numbers)
{
    const qsizetype n = t.size();
    // A value's shape is never longer than the value but for "1.0", which
    // may stand for a real of two characters ("1." or ".5").
    shape.resize(n + n / 2 + 1);
    QChar *const out = shape.data();
    qsizetype written = 0;
    // The text from `kept` to `i` stands as written; it is copied when a
    // value is written in its shape, and at the end.
    qsizetype kept = 0;
    const auto copy = [&](qsizetype to) {
        std::copy(t.data() + kept, t.data() + to, out + written);
        written += to - kept;
    };
    const auto replace = [&](qsizetype from, qsizetype to, QLatin1String value) {
        copy(from);
        for (const char c : value)
            out[written++] = QLatin1Char(c);
        kept = to;
    };
    qsizetype i = 0;
    while (i < n) {
        // Characters that start no comment, quoted part or number are
        // passed over at once (a name's digits too: they follow a letter).
        while (i < n && isPlain(t[i])) {
            if (!isNameChar(t[i])) {
                ++i;
                continue;
            }
            const qsizetype name = i;
            while (i < n && isNameChar(t[i]))
                ++i;
            if (numbers && keepsNumbers(t.mid(name, i - name)))
                return false;
        }
        if (i >= n)
            break;
        const QChar c = t[i];
        const QChar next = i + 1 < n ? t[i + 1] : QChar();
        qsizetype end = i + 1;
        if (c == u'-' && next == u'-') {
            end = t.indexOf(u'\n', i);
        } else if (c == u'/' && next == u'*') {
            end = t.indexOf(QLatin1String("*/"), i + 2);
            end = end < 0 ? -1 : end + 2;
        } else if (c == u'"' || c == u'`' || c == u'[') {
            end = t.indexOf(c == u'[' ? QChar(u']') : c, i + 1);
            end = end < 0 ? -1 : end + 1;
        } else if (c == u'\'') {
            // A doubled quote stands for one inside the literal.
            end = i + 1;
            for (;;) {
                end = t.indexOf(u'\'', end);
                if (end < 0 || end + 1 >= n || t[end + 1] != u'\'')
                    break;
                end += 2;
            }
            end = end < 0 ? -1 : end + 1;
            const bool blob = i > 0 && (t[i - 1] == u'x' || t[i - 1] == u'X') && (i < 2 || !isNameChar(t[i - 2]));
            if (end >= 0 && !blob)
                replace(i, end, QLatin1String("''"));
        } else if (numbers && (isDigit(c) || (c == u'.' && isDigit(next)))
                   && (i == 0 || (!isNameChar(t[i - 1]) && t[i - 1] != u'?' && t[i - 1] != u':' && t[i - 1] != u'@'))) {
            bool isFloat = false;
            const qsizetype after = numberEnd(t, i, &isFloat);
            if (after >= 0) {
                replace(i, after, isFloat ? QLatin1String("1.0") : QLatin1String("1"));
                end = after;
            } else {
                while (end < n && isNameChar(t[end]))
                    ++end;
            }
        }
        // What is left open runs to the text's end.
        i = end < 0 ? n : end;
    }
    copy(n);
    shape.truncate(written);
    return true;
}

// The parser's answers by value shape: a long script of statements alike
// but for their values is parsed once per shape. Kept are the statements
// prepared without a failure, and those refused for a name only a database
// can tell (a table the empty database has not); a refusal of the parser
// itself names the text, and is not kept. Bounded, so that a script of
// only different statements does not grow it without end.
class PreparedShapes
{
public:
    struct Answer
    {
        OfflineReading::Rows rows = OfflineReading::Rows::Unknown;
        // Refused for a name only a database can tell.
        bool needsDatabase = false;
    };

    // The shape of the statement, kept until the next one is looked up.
    const QString &shapeOf(QStringView text)
    {
        if (!writeValueShape(text, m_shape, true))
            writeValueShape(text, m_shape, false);
        return m_shape;
    }
    const Answer *find(const QString &shape) const
    {
        const auto it = m_answers.constFind(shape);
        return it == m_answers.constEnd() ? nullptr : &*it;
    }
    void add(const QString &shape, Answer answer)
    {
        if (m_answers.size() < kMaxShapes)
            m_answers.insert(shape, answer);
    }

private:
    static constexpr qsizetype kMaxShapes = 4096;
    QHash<QString, Answer> m_answers;
    QString m_shape;
};

PreparedShapes &preparedShapes()
{
    static PreparedShapes shapes;
    return shapes;
}

} // namespace

OfflineReading readSqliteOffline(const QString &commandText)
{
    OfflineReading reading;
    sqlite3 *db = memoryDatabase();
    if (!db)
        return reading;
    // The engine's own rewriting: the tool's marks become "?". A mark never
    // holds a line break outside quotes, so lines stay where they were.
    const MarkedText marked = rewriteParameterMarks(commandText);
    PreparedShapes &shapes = preparedShapes();
    // Written again by the next statement; a shape kept is copied.
    const QString &shape = shapes.shapeOf(marked.text);
    // A name only a database can tell: on a database that has it, the
    // statement is prepared, and a parameter then has no value.
    const auto needsDatabase = [&]() {
        const qsizetype mark = firstParameterMark(commandText);
        if (mark >= 0) {
            reading.failure = kNoValueText;
            reading.line = lineOfChar(commandText, mark);
        }
        return reading;
    };
    if (const PreparedShapes::Answer *answer = shapes.find(shape)) {
        if (answer->needsDatabase)
            return needsDatabase();
        reading.rows = answer->rows;
        return reading;
    }
    const QByteArray text = marked.text.toUtf8();
    const char *begin = text.constData();
    const char *end = begin + text.size();
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db, begin, int(text.size()), &stmt, &tail) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        if (isParserRefusal(message)) {
            reading.failure = message;
            reading.line = lineOfByte(text, sqlite3_error_offset(db));
            return reading;
        }
        shapes.add(shape, PreparedShapes::Answer{OfflineReading::Rows::Unknown, true});
        return needsDatabase();
    }
    if (!stmt) {
        reading.rows = OfflineReading::Rows::No;
        reading.failure = kNoStatementText;
        return reading;
    }
    const StatementOwner first(stmt, sqlite3_finalize);
    reading.rows = sqlite3_column_count(stmt) > 0 ? OfflineReading::Rows::Yes : OfflineReading::Rows::No;
    if (sqlite3_bind_parameter_count(stmt) > 0) {
        reading.failure = kNoValueText;
        reading.line = lineOfChar(commandText, firstParameterMark(commandText));
        return reading;
    }
    // Whatever follows may be blanks, comments and empty statements only,
    // as the engine requires.
    if (const char *further = furtherStatement(db, tail, end)) {
        reading.failure = kAfterEndText;
        reading.line = lineOfByte(text, startOfRest(begin, further, end));
        return reading;
    }
    shapes.add(shape, PreparedShapes::Answer{reading.rows, false});
    return reading;
}

} // namespace rux
