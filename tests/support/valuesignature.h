#pragma once

// Test helper: a value as one text that tells its type, whether it is null
// and its value exactly (a double to its last bit and sign, a date-time
// with its offset from UTC unless it is local time), so that tests can
// compare values read by the engines with the values known to be right.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <cmath>

namespace rux::test {

inline QString valueSignature(const QVariant &value)
{
    QString text = QString::fromLatin1(value.typeName());
    if (value.isNull())
        return text + QStringLiteral(" null");
    text += u' ';
    switch (value.typeId()) {
    case QMetaType::Double: {
        const double x = value.toDouble();
        if (std::isnan(x))
            return text + QStringLiteral("nan");
        QString number = QString::number(x, 'g', 17);
        if (std::signbit(x) && !number.startsWith(u'-'))
            number.prepend(u'-');
        return text + number;
    }
    case QMetaType::QDateTime: {
        // The ISO text ends in "Z" or the offset for a time that is not
        // local time.
        return text + value.toDateTime().toString(Qt::ISODateWithMs);
    }
    case QMetaType::QByteArray:
        return text + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return text + value.toString();
    }
}

} // namespace rux::test
