#pragma once

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>

#include <cstring>

namespace rux::mdbvalue {

// The values of an Access file's fields as the file holds them, decoded
// from their raw bytes into the text or number the copy stores. Pure
// functions: no file, no library handle. A function that gives a
// QByteArray gives a null one for bytes that do not form a value of its
// kind (a damaged field).

// The column types of the file format that libmdb names no constant for.
// An extended date/time (ACE 2019 on): date and time to 100 ns.
constexpr int kExtendedDateTime = 0x14;

// Little-endian numbers of a page buffer.
inline qint64 int64At(const unsigned char *p)
{
    return qFromLittleEndian<qint64>(p);
}
inline qint32 int32At(const unsigned char *p)
{
    return qFromLittleEndian<qint32>(p);
}
inline quint32 uint32At(const unsigned char *p)
{
    return qFromLittleEndian<quint32>(p);
}
inline qint16 int16At(const unsigned char *p)
{
    return qFromLittleEndian<qint16>(p);
}
inline double doubleAt(const unsigned char *p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline float floatAt(const unsigned char *p)
{
    const quint32 bits = qFromLittleEndian<quint32>(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A single as the double of its shortest decimal text: 0.1f becomes 0.1,
// not 0.100000001490116.
double singleAsDouble(float value);

// An Access date/time (days since 1899-12-30, the fraction the time of
// day) as "YYYY-MM-DD HH:MM:SS"; null outside the engine's years 100 to
// 9999.
QByteArray dateText(double value);

// An extended date/time field: ASCII "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P"
// (days since 0001-01-01, time of day in 100 ns, the number of fraction
// digits kept) as "YYYY-MM-DD HH:MM:SS" with a fraction of P digits.
QByteArray extendedDateText(const unsigned char *p, int size);

// Text of a Jet 4 or ACE file as UTF-8: UTF-16LE, or the one-byte
// compressed form (FF FE, then runs of one-byte characters and of UTF-16
// units, each 0x00 byte switching between them). Characters outside the
// Basic Multilingual Plane (surrogate pairs) are kept.
QByteArray unicodeText(const unsigned char *p, int size);

// A replication ID (16 bytes) as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// the first three groups little-endian as in every Windows GUID.
QByteArray guidText(const unsigned char *p);

// A decimal field (17 bytes): a sign byte (0x80 negative), then a 128-bit
// integer in four little-endian 32-bit words, the most significant first;
// `scale` digits of it are decimals.
QByteArray decimalText(const unsigned char *p, int size, int scale);

// The value of a calculated column is stored wrapped: 16 bytes, the
// value's length (32-bit), the value in its own type's form, padding.
// Sets `value` and `length` to the value; false when the field is too
// short for its stated length. A length of 0 is a null value.
bool unwrapCalculated(const unsigned char *p, int size, const unsigned char **value, int *length);

// A calculated decimal (16 bytes, the OLE DECIMAL layout): 2 bytes
// reserved, the scale, a sign byte (0x80 negative), the high 32 bits and
// the low 64 bits of a 96-bit integer, little-endian. Its scale is the
// value's own, not the column's.
QByteArray calculatedDecimalText(const unsigned char *p, int size);

} // namespace rux::mdbvalue
