#include "db/access/mdbvalues.h"

#include <QDate>
#include <QString>
#include <QtEndian>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace rux::mdbvalue {

namespace {

// The Access engine's range of dates: 100-01-01 to 9999-12-31 23:59:59.
constexpr double kFirstAccessDate = -657434.0;
constexpr double kLastAccessDate = 2958466.0;

// An extended date/time: 19 digits of days, 19 of 100 ns units, one of
// precision, with ':' between them.
constexpr int kExtendedDateDigits = 19;
constexpr qint64 kTicksPerSecond = 10000000;
constexpr qint64 kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int kMaxFractionDigits = 7;

// A calculated value's header: 16 bytes, then its length.
constexpr int kCalculatedLengthAt = 16;
constexpr int kCalculatedValueAt = 20;

// The largest scale a 128-bit integer can use up (39 digits).
constexpr int kMaxScale = 38;

QByteArray timestampText(const QDate &date, qint64 seconds)
{
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year(),
                                date.month(), date.day(), int(seconds / 3600),
                                int(seconds / 60 % 60), int(seconds % 60));
    return QByteArray(text, n);
}

// Reads `count` ASCII digits; false on anything else.
bool digitsAt(const unsigned char *p, int count, qint64 *value)
{
    qint64 v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        v = v * 10 + (p[i] - '0');
    }
    *value = v;
    return true;
}

// A non-negative 128-bit integer, four 32-bit words with the most
// significant first, in decimal digits, with `scale` of them after a
// point (and a leading "0." where the integer is shorter).
QByteArray scaledText(quint32 words[4], bool negative, int scale)
{
    const bool isZero = (words[0] | words[1] | words[2] | words[3]) == 0;
    char digits[48];
    int count = 0;
    // Long division by 10, word by word, until the integer is 0.
    for (;;) {
        quint64 rest = 0;
        bool zero = true;
        for (int w = 0; w < 4; ++w) {
            const quint64 dividend = (rest << 32) | words[w];
            words[w] = quint32(dividend / 10);
            rest = dividend % 10;
            zero = zero && words[w] == 0;
        }
        digits[count++] = char('0' + rest);
        if (zero)
            break;
    }
    while (count <= scale)
        digits[count++] = '0';
    QByteArray text;
    text.reserve(count + 2);
    if (negative && !isZero)
        text.append('-');
    for (int i = count - 1; i >= 0; --i) {
        text.append(digits[i]);
        if (i == scale && scale > 0)
            text.append('.');
    }
    return text;
}

} // namespace

double singleAsDouble(float value)
{
    if (!std::isfinite(value))
        return double(value);
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double d = double(value);
    std::from_chars(text, written.ptr, d);
    return d;
}

// Before 1899-12-30 the whole part counts back while the fraction still
// counts forward (-1.25 is 1899-12-29 06:00).
QByteArray dateText(double value)
{
    if (!std::isfinite(value) || value < kFirstAccessDate || value >= kLastAccessDate)
        return QByteArray();
    const double days = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - days) * 86400.0);
    QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    if (seconds >= 86400) {
        seconds -= 86400;
        date = date.addDays(1);
    }
    return timestampText(date, seconds);
}

QByteArray extendedDateText(const unsigned char *p, int size)
{
    constexpr int kTimeAt = kExtendedDateDigits + 1;
    constexpr int kPrecisionAt = 2 * kTimeAt;
    if (size < kPrecisionAt + 1 || p[kExtendedDateDigits] != ':' || p[kPrecisionAt - 1] != ':')
        return QByteArray();
    qint64 days = 0;
    qint64 ticks = 0;
    qint64 precision = 0;
    if (!digitsAt(p, kExtendedDateDigits, &days) || !digitsAt(p + kTimeAt, kExtendedDateDigits, &ticks)
        || !digitsAt(p + kPrecisionAt, 1, &precision) || ticks >= kTicksPerDay
        || precision > kMaxFractionDigits) {
        return QByteArray();
    }
    const QDate date = QDate(1, 1, 1).addDays(days);
    if (!date.isValid() || date.year() > 9999)
        return QByteArray();
    QByteArray text = timestampText(date, ticks / kTicksPerSecond);
    if (precision > 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%07d", int(ticks % kTicksPerSecond));
        text.append(fraction, 1 + int(precision));
    }
    return text;
}

QByteArray unicodeText(const unsigned char *p, int size)
{
    QString text;
    text.reserve(size);
    if (size >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        bool compressed = true;
        int i = 2;
        while (i < size) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.append(QChar(char16_t(p[i])));
                ++i;
            } else if (i + 1 < size) {
                text.append(QChar(char16_t(p[i] | (p[i + 1] << 8))));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (int i = 0; i + 1 < size; i += 2)
            text.append(QChar(char16_t(p[i] | (p[i + 1] << 8))));
    }
    QByteArray utf8 = text.toUtf8();
    // Zero-length text stays text, not null.
    if (utf8.isNull())
        utf8 = QByteArray("");
    return utf8;
}

QByteArray guidText(const unsigned char *p)
{
    char text[40];
    const int n = std::snprintf(
        text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
        unsigned(qFromLittleEndian<quint32>(p)), unsigned(qFromLittleEndian<quint16>(p + 4)),
        unsigned(qFromLittleEndian<quint16>(p + 6)), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return QByteArray(text, n);
}

QByteArray decimalText(const unsigned char *p, int size, int scale)
{
    if (size < 17 || scale < 0 || scale > kMaxScale)
        return QByteArray();
    quint32 words[4];
    for (int w = 0; w < 4; ++w)
        words[w] = qFromLittleEndian<quint32>(p + 1 + 4 * w);
    return scaledText(words, (p[0] & 0x80) != 0, scale);
}

bool unwrapCalculated(const unsigned char *p, int size, const unsigned char **value, int *length)
{
    if (size < kCalculatedValueAt)
        return false;
    const quint32 stated = qFromLittleEndian<quint32>(p + kCalculatedLengthAt);
    if (stated > quint32(size - kCalculatedValueAt))
        return false;
    *value = p + kCalculatedValueAt;
    *length = int(stated);
    return true;
}

QByteArray calculatedDecimalText(const unsigned char *p, int size)
{
    if (size < 16 || p[2] > kMaxScale)
        return QByteArray();
    const quint64 low = qFromLittleEndian<quint64>(p + 8);
    quint32 words[4] = {0, qFromLittleEndian<quint32>(p + 4), quint32(low >> 32), quint32(low)};
    return scaledText(words, (p[3] & 0x80) != 0, p[2]);
}

} // namespace rux::mdbvalue
