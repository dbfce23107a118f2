#include "db/sqlite/offlineparse.h"

#include "db/sqlite/sqltext.h"

#include <QByteArray>

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
        // A name only a database can tell: on a database that has it, the
        // statement is prepared, and a parameter then has no value.
        const qsizetype mark = firstParameterMark(commandText);
        if (mark >= 0) {
            reading.failure = kNoValueText;
            reading.line = lineOfChar(commandText, mark);
        }
        return reading;
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
    const char *rest = tail;
    while (rest && rest < end) {
        sqlite3_stmt *next = nullptr;
        const char *nextTail = nullptr;
        const int rc = sqlite3_prepare_v2(db, rest, int(end - rest), &next, &nextTail);
        const bool more = next != nullptr;
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || more) {
            reading.failure = kAfterEndText;
            reading.line = lineOfByte(text, startOfRest(begin, rest, end));
            return reading;
        }
        if (nextTail == rest)
            break;
        rest = nextTail;
    }
    return reading;
}

} // namespace rux
