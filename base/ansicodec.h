#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstring>

namespace rux {

// The system's ANSI code page: Windows-1252 on this platform. Encoding
// writes "?" for a character the code page cannot hold (one "?" per
// UTF-16 code unit of a character outside the Basic Multilingual Plane is
// avoided: a surrogate pair becomes a single "?").
QByteArray encodeAnsi(QStringView text);
// Whether the code page has a byte for the code point. The five bytes it
// leaves undefined read as the C1 controls of the same value, so those
// controls are written back as those bytes.
bool ansiHolds(char32_t c);
void appendAnsi(QByteArray &out, QStringView text);
QString decodeAnsi(QByteArrayView bytes);
// The bytes as decodeAnsi() reads them, written as UTF-8.
QByteArray ansiToUtf8(QByteArrayView bytes);

// Appends bytes to `out`; cheaper than QByteArray::append, which goes
// through the general insert, for the many short pieces of an export line.
inline void appendBytes(QByteArray &out, const char *data, qsizetype size)
{
    const qsizetype at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, data, size_t(size));
}

} // namespace rux
