#include "db/sqlite/sqlitecursor.h"

#include "base/failure.h"
#include "db/valuetext.h"

#include "base/ansicodec.h"

#include <QString>
#include <QStringView>

#include <sqlite3.h>

#include <charconv>

namespace rux {

namespace {

QStringView text16(sqlite3_stmt *statement, int column)
{
    const auto *units = static_cast<const char16_t *>(sqlite3_column_text16(statement, column));
    const int bytes = sqlite3_column_bytes16(statement, column);
    return QStringView(units, bytes / qsizetype(sizeof(char16_t)));
}

// Text whose bytes are all below 0x80 reads the same in UTF-8, in UTF-16
// and in the export's code page, so its bytes can be copied as they are.
bool isAscii(const unsigned char *bytes, int size)
{
    unsigned char any = 0;
    for (int i = 0; i < size; ++i)
        any |= bytes[i];
    return any < 0x80;
}

void appendYesNo(QByteArray &out, bool yes)
{
    if (yes)
        appendBytes(out, "Wahr", 4);
    else
        appendBytes(out, "Falsch", 6);
}

} // namespace

bool SqliteCursor::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_statement);
        return false;
    }
    // The generic error code tells its cause only after the reset.
    QString message;
    if (rc == SQLITE_ERROR) {
        sqlite3_reset(m_statement);
        message = QString::fromUtf8(sqlite3_errmsg(m_db));
    } else {
        message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_reset(m_statement);
    }
    throw Failure(message);
}

QVariant SqliteCursor::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_statement, column));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_BLOB: {
        const void *blob = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        return QVariant(QByteArray(static_cast<const char *>(blob), size));
    }
    default:
        return QVariant(text16(m_statement, column).toString());
    }
}

void SqliteCursor::appendAnsiText(int column, bool yesNoColumn, QChar decimalPoint,
                                  QByteArray &out) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER: {
        const sqlite3_int64 number = sqlite3_column_int64(m_statement, column);
        if (yesNoColumn) {
            appendYesNo(out, number != 0);
            return;
        }
        char digits[24];
        const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, number);
        appendBytes(out, digits, r.ptr - digits);
        return;
    }
    case SQLITE_FLOAT: {
        const double real = sqlite3_column_double(m_statement, column);
        if (yesNoColumn) {
            appendYesNo(out, real != 0);
        } else if (decimalPoint.unicode() < 0x80) {
            char text[kFormatRealMax];
            const int length = formatRealAscii(real, text);
            for (int i = 0; i < length; ++i) {
                if (text[i] == '.')
                    text[i] = char(decimalPoint.unicode());
            }
            appendBytes(out, text, length);
        } else {
            appendAnsi(out, formatReal(real, decimalPoint));
        }
        return;
    }
    case SQLITE_BLOB: {
        const void *blob = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        appendAnsi(out, decodeAnsi(QByteArrayView(static_cast<const char *>(blob), size)));
        return;
    }
    default:
        break;
    }
    // Text. A yes/no column reads "1", "true", "0" and "false" (in any
    // case) as yes or no; all other text stands as it is.
    const auto *bytes = sqlite3_column_text(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    if (!yesNoColumn && isAscii(bytes, size)) {
        appendBytes(out, reinterpret_cast<const char *>(bytes), size);
        return;
    }
    const QVariant text = value(column);
    appendAnsi(out, valueAsString(text, yesNoColumn, decimalPoint));
}

namespace {

int prepare(sqlite3 *db, const char *text, const char *end, sqlite3_stmt **stmt, const char **tail)
{
    return sqlite3_prepare_v2(db, text, int(end - text), stmt, tail);
}

int prepare(sqlite3 *db, const char16_t *text, const char16_t *end, sqlite3_stmt **stmt, const char16_t **tail)
{
    const void *next = nullptr;
    const int rc = sqlite3_prepare16_v2(db, text, int((end - text) * sizeof(char16_t)), stmt, &next);
    *tail = static_cast<const char16_t *>(next);
    return rc;
}

template <typename Char>
const Char *firstFurther(sqlite3 *db, const Char *rest, const Char *end)
{
    while (rest && rest < end) {
        sqlite3_stmt *next = nullptr;
        const Char *nextTail = nullptr;
        const int rc = prepare(db, rest, end, &next, &nextTail);
        const bool more = next != nullptr;
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || more)
            return rest;
        if (nextTail == rest)
            break;
        rest = nextTail;
    }
    return nullptr;
}

} // namespace

const char *furtherStatement(sqlite3 *db, const char *rest, const char *end)
{
    return firstFurther(db, rest, end);
}

const char16_t *furtherStatement(sqlite3 *db, const char16_t *rest, const char16_t *end)
{
    return firstFurther(db, rest, end);
}

} // namespace rux
