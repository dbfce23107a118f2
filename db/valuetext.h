#pragma once

#include <QChar>
#include <QString>
#include <QVariant>

namespace rux {

// The text of a field value (its AsString), as the export file and the grids
// show it.

// A real as the shortest text of at most 15 significant digits: fixed
// notation for decimal exponents -5 to 14, otherwise "d.dddE<exp>"
// ("1E20", "1.5E-7"); `decimalPoint` stands for "."; "NAN", "INF", "-INF".
QString formatReal(double value, QChar decimalPoint);

// formatReal(value, '.') in ASCII, written to `out`, which holds at least
// kFormatRealMax characters; returns the number written.
constexpr int kFormatRealMax = 32;
int formatRealAscii(double value, char *out);

// True for a declared column type that means yes/no: BOOLEAN, BOOL, BIT,
// YESNO, LOGICAL in any case, with or without a size ("bit(1)").
bool isYesNoType(const QString &declaredType);

// True for the declared type of a column of exact decimal text, as the copy
// of an Access file's decimal columns declares it: DECIMAL_TEXT in any case,
// with or without precision and scale.
bool isDecimalTextType(const QString &declaredType);

// The AsString of one value: empty for null; "Wahr"/"Falsch" in a yes/no
// column; integers in plain decimal; reals by formatReal(); blobs decoded as
// the ANSI code page; dates and times as ISO text.
QString valueAsString(const QVariant &value, bool yesNoColumn, QChar decimalPoint);

// The text a cell shows for a value of a column: valueAsString(), and in a
// column of exact decimal text (a server's numeric) the user's decimal
// point in place of ".".
QString cellText(const QVariant &value, bool yesNoColumn, bool decimalColumn, QChar decimalPoint);

// Whole numbers of every width; numbers at all (whole or floating point).
bool isIntegerType(int typeId);
bool isNumberType(int typeId);

} // namespace rux
