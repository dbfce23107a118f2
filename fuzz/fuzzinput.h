#pragma once

// Helpers shared by the fuzz targets: turning the fuzzer's bytes into texts
// and stopping hard when a rule is broken.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// Stops the run with the broken rule named; libFuzzer keeps the input.
[[noreturn]] inline void broken(const char *rule, const QString &detail = QString())
{
    std::fprintf(stderr, "rule broken: %s\n", rule);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", qUtf8Printable(detail));
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const char *rule)
{
    if (!holds)
        broken(rule);
}

// `detail` is called, to describe the input, only when the rule is broken.
template <typename Detail>
inline void check(bool holds, const char *rule, const Detail &detail)
{
    if (!holds)
        broken(rule, detail());
}

// A text with every code unit shown, for the report of a broken rule.
inline QString show(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'\\' && u != u'"')
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
    }
    return out + QLatin1Char('"');
}

// Every CR LF, lone CR and lone LF written as CR LF.
inline QString withCrLf(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            out += QStringLiteral("\r\n");
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The characters besides CR and LF that end a line in the editor.
inline bool endsEditorLine(QChar c)
{
    return c == QChar(0x2029) || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// The text with every line break the editor knows written as CR LF.
inline QString asEditorLines(const QString &text)
{
    QString out = withCrLf(text);
    for (qsizetype i = out.size() - 1; i >= 0; --i) {
        if (endsEditorLine(out[i]))
            out.replace(i, 1, QStringLiteral("\r\n"));
    }
    return out;
}

// The text cut at the first NUL, line breaks as CR LF: a file's text as it
// reaches the load.
inline QString asLoaded(const QString &raw)
{
    const qsizetype nul = raw.indexOf(QChar(u'\0'));
    return withCrLf(nul < 0 ? raw : raw.left(nul));
}

// The fuzzer's input as up to `count` texts. The first byte chooses how the
// rest reads: an even byte makes it UTF-8 (invalid sequences become U+FFFD),
// split into parts at the byte 0xFF, which UTF-8 never holds; an odd byte
// makes it UTF-16 little-endian code units, lone surrogates and NUL
// included, split at the code unit U+FFFF. The seed files therefore start
// with a digit ("0" for UTF-8) and stay readable. Missing parts are empty;
// the last part takes the rest, further separators included.
inline QStringList texts(const uint8_t *data, size_t size, int count)
{
    QStringList parts;
    if (size == 0) {
        for (int k = 0; k < count; ++k)
            parts.append(QString());
        return parts;
    }
    const bool utf16 = data[0] & 1;
    const uint8_t *p = data + 1;
    const size_t n = size - 1;
    if (!utf16) {
        size_t start = 0;
        for (size_t i = 0; i < n && parts.size() < count - 1; ++i) {
            if (p[i] == 0xFF) {
                parts.append(QString::fromUtf8(reinterpret_cast<const char *>(p + start),
                                               qsizetype(i - start)));
                start = i + 1;
            }
        }
        parts.append(QString::fromUtf8(reinterpret_cast<const char *>(p + start), qsizetype(n - start)));
    } else {
        QString all(qsizetype(n / 2), Qt::Uninitialized);
        for (size_t i = 0; i + 1 < n; i += 2)
            all[qsizetype(i / 2)] = QChar(char16_t(p[i] | p[i + 1] << 8));
        qsizetype start = 0;
        for (qsizetype i = 0; i < all.size() && parts.size() < count - 1; ++i) {
            if (all[i] == QChar(char16_t(0xFFFF))) {
                parts.append(all.mid(start, i - start));
                start = i + 1;
            }
        }
        parts.append(all.mid(start));
    }
    while (parts.size() < count)
        parts.append(QString());
    return parts;
}

inline QString text(const uint8_t *data, size_t size)
{
    return texts(data, size, 1).first();
}

} // namespace fuzz
