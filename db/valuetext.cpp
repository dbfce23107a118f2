#include "db/valuetext.h"

#include "db/engine.h"

#include "base/ansicodec.h"
#include "base/textfold.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <charconv>
#include <cmath>

namespace rux {

int formatRealAscii(double value, char *out)
{
    char *o = out;
    const auto put = [&o](const char *text) {
        while (*text)
            *o++ = *text++;
    };
    if (std::isnan(value)) {
        put("NAN");
        return int(o - out);
    }
    if (std::isinf(value)) {
        put(value < 0 ? "-INF" : "INF");
        return int(o - out);
    }
    if (value == 0) {
        put("0");
        return int(o - out);
    }

    // std::to_chars rounds exactly to 15 significant digits and, unlike
    // printf, does not depend on the C locale. Its output is
    // "[-]d.ddddddddddddddde[+-]xx"; the digits and the exponent are taken
    // from it and the text rebuilt.
    char buffer[40];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value,
                                                 std::chars_format::scientific, 14);
    const char *p = buffer;
    const char *const end = r.ptr;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    char digits[16];
    int count = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9' && count < 15)
            digits[count++] = *p;
    }
    int exponent = 0;
    if (p < end)
        ++p; // 'e'
    bool negativeExponent = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negativeExponent = *p == '-';
        ++p;
    }
    for (; p < end; ++p)
        exponent = exponent * 10 + (*p - '0');
    if (negativeExponent)
        exponent = -exponent;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    if (negative)
        *o++ = '-';
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            *o++ = '0';
            *o++ = '.';
            for (int i = -1; i > exponent; --i)
                *o++ = '0';
            for (int i = 0; i < count; ++i)
                *o++ = digits[i];
        } else {
            for (int i = 0; i <= exponent; ++i)
                *o++ = i < count ? digits[i] : '0';
            if (count > exponent + 1) {
                *o++ = '.';
                for (int i = exponent + 1; i < count; ++i)
                    *o++ = digits[i];
            }
        }
    } else {
        *o++ = digits[0];
        if (count > 1) {
            *o++ = '.';
            for (int i = 1; i < count; ++i)
                *o++ = digits[i];
        }
        *o++ = 'E';
        if (exponent < 0)
            *o++ = '-';
        const std::to_chars_result e = std::to_chars(o, o + 8, exponent < 0 ? -exponent : exponent);
        o = e.ptr;
    }
    return int(o - out);
}

QString formatReal(double value, QChar decimalPoint)
{
    char text[kFormatRealMax];
    const int length = formatRealAscii(value, text);
    QString out(length, Qt::Uninitialized);
    QChar *o = out.data();
    for (int i = 0; i < length; ++i)
        o[i] = text[i] == '.' ? decimalPoint : QChar(QLatin1Char(text[i]));
    return out;
}

bool isDecimalTextType(const QString &declaredType)
{
    const QStringView type = QStringView(declaredType).trimmed();
    constexpr QLatin1String kName("DECIMAL_TEXT");
    return type.startsWith(kName, Qt::CaseInsensitive)
        && (type.size() == kName.size() || type.at(kName.size()) == u'(' || type.at(kName.size()).isSpace());
}

bool isYesNoType(const QString &declaredType)
{
    QStringView type = QStringView(declaredType).trimmed();
    if (type.endsWith(u')')) {
        const qsizetype open = type.indexOf(u'(');
        if (open < 0)
            return false;
        const QStringView size = type.mid(open + 1, type.size() - open - 2).trimmed();
        for (const QChar c : size) {
            if (c < u'0' || c > u'9')
                return false;
        }
        type = type.left(open).trimmed();
    }
    const QString upper = asciiUpper(type);
    return upper == QLatin1String("BOOLEAN") || upper == QLatin1String("BOOL")
        || upper == QLatin1String("BIT") || upper == QLatin1String("YESNO")
        || upper == QLatin1String("LOGICAL");
}

namespace {

QString yesNoText(bool yes)
{
    return yes ? QStringLiteral("Wahr") : QStringLiteral("Falsch");
}

void appendPadded(QString &out, int number, int width)
{
    if (number < 0) {
        out += QLatin1Char('-');
        number = -number;
    }
    char buffer[12];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, number);
    for (qsizetype i = r.ptr - buffer; i < width; ++i)
        out += QLatin1Char('0');
    out += QLatin1String(buffer, r.ptr - buffer);
}

void appendDate(QString &out, QDate date)
{
    appendPadded(out, date.year(), 4);
    out += QLatin1Char('-');
    appendPadded(out, date.month(), 2);
    out += QLatin1Char('-');
    appendPadded(out, date.day(), 2);
}

void appendTime(QString &out, QTime time)
{
    appendPadded(out, time.hour(), 2);
    out += QLatin1Char(':');
    appendPadded(out, time.minute(), 2);
    out += QLatin1Char(':');
    appendPadded(out, time.second(), 2);
}

bool isUnsignedType(int typeId)
{
    return typeId == QMetaType::UInt || typeId == QMetaType::ULongLong
        || typeId == QMetaType::ULong || typeId == QMetaType::UShort
        || typeId == QMetaType::UChar;
}

} // namespace

bool isIntegerType(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isNumberType(int typeId)
{
    return isIntegerType(typeId) || typeId == QMetaType::Double || typeId == QMetaType::Float;
}

QString valueAsString(const QVariant &value, bool yesNoColumn, QChar decimalPoint)
{
    if (!value.isValid() || value.isNull())
        return QString();
    const int typeId = value.typeId();
    const bool isReal = typeId == QMetaType::Double || typeId == QMetaType::Float;

    if (yesNoColumn) {
        if (typeId == QMetaType::Bool)
            return yesNoText(value.toBool());
        if (isReal)
            return yesNoText(value.toDouble() != 0);
        if (isIntegerType(typeId)) {
            if (isUnsignedType(typeId))
                return yesNoText(value.toULongLong() != 0);
            return yesNoText(value.toLongLong() != 0);
        }
        if (typeId == QMetaType::QString) {
            const QString text = value.toString();
            const QString folded = asciiLower(text);
            if (folded == QLatin1String("1") || folded == QLatin1String("true"))
                return yesNoText(true);
            if (folded == QLatin1String("0") || folded == QLatin1String("false"))
                return yesNoText(false);
            return text;
        }
    }

    switch (typeId) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
        return formatReal(value.toDouble(), decimalPoint);
    case QMetaType::Float:
        return formatReal(double(value.toFloat()), decimalPoint);
    case QMetaType::QByteArray:
        return decodeAnsi(value.toByteArray());
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        QString out;
        if (date.isValid())
            appendDate(out, date);
        return out;
    }
    case QMetaType::QTime: {
        const QTime time = value.toTime();
        QString out;
        if (time.isValid())
            appendTime(out, time);
        return out;
    }
    case QMetaType::QDateTime: {
        const QDateTime dateTime = value.toDateTime();
        QString out;
        if (dateTime.isValid()) {
            appendDate(out, dateTime.date());
            out += QLatin1Char(' ');
            appendTime(out, dateTime.time());
        }
        return out;
    }
    default:
        break;
    }
    if (isIntegerType(typeId)) {
        if (isUnsignedType(typeId))
            return QString::number(value.toULongLong());
        return QString::number(value.toLongLong());
    }
    return value.toString();
}

QString cellText(const QVariant &value, bool yesNoColumn, bool decimalColumn, QChar decimalPoint)
{
    if (decimalColumn && decimalPoint != u'.' && value.typeId() == QMetaType::QString)
        return value.toString().replace(u'.', decimalPoint);
    return valueAsString(value, yesNoColumn, decimalPoint);
}

void EngineResult::appendAnsi(int column, QChar decimalPoint, QByteArray &out) const
{
    rux::appendAnsi(out, cellText(value(column), m_columns.yesNo.value(column),
                                  m_columns.decimal.value(column), decimalPoint));
}

} // namespace rux
