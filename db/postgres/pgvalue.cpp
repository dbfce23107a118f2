#include "db/postgres/pgvalue.h"

#include "db/postgres/libpq.h"
#include "db/valuetext.h"
#include "base/ansicodec.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace rux::pg {

namespace {

// The types the driver reads as other than text. Its list has "oid" at
// 2278 (which is "void"): a real oid column (26) reads as text there.
constexpr unsigned kRegprocOid = 24;
constexpr unsigned kXidOid = 28;
constexpr unsigned kCidOid = 29;
constexpr unsigned kDriversOidOid = 2278;
constexpr unsigned kAbstimeOid = 702;
constexpr unsigned kReltimeOid = 703;
constexpr unsigned kDateOid = 1082;
constexpr unsigned kTimeOid = 1083;
constexpr unsigned kTimetzOid = 1266;
constexpr unsigned kTimestampOid = 1114;
constexpr unsigned kTimestamptzOid = 1184;

bool equalsIgnoringCase(const char *text, const char *word)
{
    for (; *text && *word; ++text, ++word) {
        const char a = *text >= 'A' && *text <= 'Z' ? char(*text + 32) : *text;
        if (a != *word)
            return false;
    }
    return *text == *word;
}

// A float4 or float8 as the driver reads it; false when the text is no
// number (the driver gives an empty value then).
bool readReal(const char *text, double *value)
{
    if (equalsIgnoringCase(text, "nan")) {
        *value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (equalsIgnoringCase(text, "infinity")) {
        *value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (equalsIgnoringCase(text, "-infinity")) {
        *value = -std::numeric_limits<double>::infinity();
        return true;
    }
    const char *end = text + std::strlen(text);
    const std::from_chars_result r = std::from_chars(text, end, *value);
    return r.ec == std::errc() && r.ptr != text;
}

void appendYesNo(QByteArray &out, bool yes)
{
    if (yes)
        appendBytes(out, "Wahr", 4);
    else
        appendBytes(out, "Falsch", 6);
}

bool isAscii(const char *text, int length)
{
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

QMetaType::Type metaTypeOf(unsigned type)
{
    switch (type) {
    case kBoolOid:
        return QMetaType::Bool;
    case kInt8Oid:
        return QMetaType::LongLong;
    case kInt2Oid:
    case kInt4Oid:
    case kDriversOidOid:
    case kRegprocOid:
    case kXidOid:
    case kCidOid:
        return QMetaType::Int;
    case kNumericOid:
    case kFloat4Oid:
    case kFloat8Oid:
        return QMetaType::Double;
    case kAbstimeOid:
    case kReltimeOid:
    case kDateOid:
        return QMetaType::QDate;
    case kTimeOid:
    case kTimetzOid:
        return QMetaType::QTime;
    case kTimestampOid:
    case kTimestamptzOid:
        return QMetaType::QDateTime;
    case kByteaOid:
        return QMetaType::QByteArray;
    default:
        return QMetaType::QString;
    }
}

bool isYesNo(unsigned type, int typmod)
{
    return type == kBoolOid || (type == kBitOid && typmod == 1);
}

bool isDecimal(unsigned type)
{
    return type == kNumericOid;
}

QVariant valueOf(unsigned type, const char *text, bool null)
{
    const QMetaType::Type meta = metaTypeOf(type);
    if (null)
        return QVariant(QMetaType(meta), nullptr);
    switch (meta) {
    case QMetaType::Bool:
        return QVariant(text[0] == 't');
    case QMetaType::LongLong: {
        // The driver reads a positive value as unsigned.
        const QByteArray digits = QByteArray::fromRawData(text, qsizetype(std::strlen(text)));
        if (text[0] == '-')
            return QVariant(digits.toLongLong());
        return QVariant(digits.toULongLong());
    }
    case QMetaType::Int:
        return QVariant(std::atoi(text));
    case QMetaType::Double: {
        if (type == kNumericOid)
            return QString::fromLatin1(text);
        double real = 0;
        if (!readReal(text, &real))
            return QVariant();
        return QVariant(real);
    }
    case QMetaType::QDate:
        return QVariant(QDate::fromString(QString::fromLatin1(text), Qt::ISODate));
    case QMetaType::QTime:
        return QVariant(QTime::fromString(QString::fromLatin1(text), Qt::ISODate));
    case QMetaType::QDateTime: {
        QString stamp = QString::fromLatin1(text);
        if (stamp.size() < 10)
            return QVariant(QDateTime());
        // "+02" is no ISO offset; "+02:00" is.
        const QChar sign = stamp[stamp.size() - 3];
        if (sign == u'-' || sign == u'+')
            stamp += QLatin1String(":00");
        return QVariant(QDateTime::fromString(stamp, Qt::ISODate).toLocalTime());
    }
    case QMetaType::QByteArray: {
        const Libpq &pq = libpq();
        size_t length = 0;
        unsigned char *bytes = pq.PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &length);
        QByteArray value(reinterpret_cast<const char *>(bytes), qsizetype(length));
        pq.PQfreemem(bytes);
        return QVariant(value);
    }
    default:
        return QString::fromUtf8(text);
    }
}

void appendCellAnsi(unsigned type, bool yesNo, const char *text, int length, bool null,
                    QChar decimalPoint, QByteArray &out)
{
    if (null)
        return;
    switch (type) {
    case kBoolOid:
        appendYesNo(out, text[0] == 't');
        return;
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
        // The server writes integers in plain decimal, as the cell does.
        appendBytes(out, text, length);
        return;
    case kFloat4Oid:
    case kFloat8Oid: {
        double real = 0;
        if (!readReal(text, &real))
            return;
        char digits[kFormatRealMax];
        const int size = formatRealAscii(real, digits);
        if (decimalPoint.unicode() >= 0x80) {
            appendAnsi(out, formatReal(real, decimalPoint));
            return;
        }
        for (int i = 0; i < size; ++i) {
            if (digits[i] == '.')
                digits[i] = char(decimalPoint.unicode());
        }
        appendBytes(out, digits, size);
        return;
    }
    case kNumericOid: {
        // Exact decimal text: its "." is the user's decimal point.
        const qsizetype at = out.size();
        appendBytes(out, text, length);
        const char *dot = static_cast<const char *>(std::memchr(text, '.', size_t(length)));
        if (!dot)
            return;
        if (decimalPoint.unicode() < 0x80) {
            out[at + (dot - text)] = char(decimalPoint.unicode());
            return;
        }
        out.resize(at);
        appendAnsi(out, QString::fromLatin1(text, length).replace(u'.', decimalPoint));
        return;
    }
    default:
        break;
    }
    if (!yesNo && metaTypeOf(type) == QMetaType::QString) {
        if (isAscii(text, length))
            appendBytes(out, text, length);
        else
            appendAnsi(out, QString::fromUtf8(text, length));
        return;
    }
    appendAnsi(out, valueAsString(valueOf(type, text, false), yesNo, decimalPoint));
}

QByteArray parameterText(const QVariant &value)
{
    if (value.isNull())
        return QByteArray();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Double:
        return QByteArray::number(value.toDouble(), 'g', 17);
    case QMetaType::Float:
        return QByteArray::number(double(value.toFloat()), 'g', 9);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QByteArray:
        return QByteArrayLiteral("\\x") + value.toByteArray().toHex();
    default: {
        QByteArray text = value.toString().toUtf8();
        // An empty text is a value: only a null goes as NULL.
        if (text.isNull())
            text = QByteArrayLiteral("");
        return text;
    }
    }
}

} // namespace rux::pg
