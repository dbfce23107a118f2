#pragma once

#include <QByteArray>
#include <QChar>
#include <QMetaType>
#include <QVariant>

namespace rux::pg {

// The values of result columns, read from the server's text, exactly as
// Qt's PostgreSQL driver gives them with QSql::HighPrecision (the program
// read them through that driver before, and compares and shows them so),
// and the cell text of a value written straight from that text where it
// can be.

constexpr unsigned kBoolOid = 16;
constexpr unsigned kByteaOid = 17;
constexpr unsigned kInt8Oid = 20;
constexpr unsigned kInt2Oid = 21;
constexpr unsigned kInt4Oid = 23;
constexpr unsigned kFloat4Oid = 700;
constexpr unsigned kFloat8Oid = 701;
constexpr unsigned kBitOid = 1560;
constexpr unsigned kNumericOid = 1700;

// The type of the values of a column of that pg_type oid.
QMetaType::Type metaTypeOf(unsigned type);
// A yes/no column: boolean, and bit(1).
bool isYesNo(unsigned type, int typmod);
// A numeric column, whose values are exact decimal text.
bool isDecimal(unsigned type);

// The value of a cell: `text` is the server's text of it (NUL-ended).
QVariant valueOf(unsigned type, const char *text, bool null);

// Appends the cell text of the value in the export's code page, as
// valueAsString() gives it for valueOf() and with a numeric column's "."
// given as `decimalPoint`.
void appendCellAnsi(unsigned type, bool yesNo, const char *text, int length, bool null,
                    QChar decimalPoint, QByteArray &out);

// A value as the text the server reads for a parameter of any type; a
// null QByteArray stands for NULL.
QByteArray parameterText(const QVariant &value);

} // namespace rux::pg
