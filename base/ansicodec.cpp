#include "base/ansicodec.h"

#include <array>

namespace rux {

namespace {

// Code points of the bytes 0x80 to 0x9F; 0 marks the five bytes Windows-1252
// leaves undefined (Windows maps them to the C1 control of the same value).
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The character of a byte.
char16_t decodeByte(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : char16_t(b);
}

char encodeUnit(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

bool ansiHolds(char32_t c)
{
    return c <= 0xFFFF && encodeUnit(char16_t(c)) != '?';
}

void appendAnsi(QByteArray &out, QStringView text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char *d = out.data() + start;
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            d[n++] = char(c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size()
                   && QChar::isLowSurrogate(text[i + 1].unicode())) {
            d[n++] = '?';
            ++i;
        } else {
            d[n++] = encodeUnit(c);
        }
    }
    out.resize(start + n);
}

QByteArray encodeAnsi(QStringView text)
{
    QByteArray out;
    appendAnsi(out, text);
    return out;
}

QString decodeAnsi(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = QChar(decodeByte(bytes[i]));
    return out;
}

QByteArray ansiToUtf8(QByteArrayView bytes)
{
    qsizetype size = 0;
    for (const char byte : bytes) {
        const char16_t c = decodeByte(byte);
        size += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    }
    QByteArray out(size, Qt::Uninitialized);
    char *d = out.data();
    for (const char byte : bytes) {
        const char16_t c = decodeByte(byte);
        if (c < 0x80) {
            *d++ = char(c);
        } else if (c < 0x800) {
            *d++ = char(0xC0 | c >> 6);
            *d++ = char(0x80 | (c & 0x3F));
        } else {
            *d++ = char(0xE0 | c >> 12);
            *d++ = char(0x80 | (c >> 6 & 0x3F));
            *d++ = char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace rux
