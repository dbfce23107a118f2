// Script-file decoding (marks, encodings, line breaks, NUL) and the round
// trip through the encoding that saving writes.
//
// Input: the bytes of a file; the same bytes are also read as a text (see
// fuzzinput.h) to be saved and read again. Rules checked:
// - the mark decides the encoding: EF BB BF UTF-8, FF FE UTF-16
//   little-endian, FE FF UTF-16 big-endian, tested in this order; without
//   one the bytes are Windows-1252; the mark is not part of the text;
// - decoding fails only for bytes after a UTF-8 mark that are not valid
//   UTF-8 (checked by a validator of its own) and for an odd byte count
//   after a UTF-16 mark; bytes without a mark, valid UTF-8 among them,
//   always decode;
// - the text ends before the first NUL and holds every line break as
//   CR LF: CR LF, a lone CR and a lone LF each make one;
// - a decoded text saved in the encoding it was read with reads back the
//   same; bytes without a mark come back byte for byte, line breaks as
//   CR LF and cut at a NUL;
// - any text saved as UTF-16 (either order), as UTF-8 (when it holds no
//   lone surrogate) or in the ANSI code page (when the code page holds all
//   its characters) reads back as the same text with its line breaks as
//   CR LF and cut at a NUL, in the same encoding; an ANSI text whose bytes
//   begin like a mark reads back in that mark's encoding, as the rules have
//   it for any file.

#include "fuzz/fuzzinput.h"

#include "base/ansicodec.h"
#include "script/scriptfile.h"

using fuzz::check;
using fuzz::show;
using rux::TextEncoding;

namespace {

QByteArray normalisedBytes(QByteArrayView bytes)
{
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            out += "\r\n";
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            out += bytes[i];
        }
    }
    return out;
}

// Decodes well-formed UTF-8 (no overlong form, no surrogate, nothing above
// U+10FFFF, no sequence cut off); false for anything else. A mark at the
// start is a character like any other.
bool decodeUtf8(QByteArrayView bytes, QString &out)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = s[i];
        int more;
        char32_t cp;
        if (b < 0x80) {
            out += QChar(char16_t(b));
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + more >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        if ((more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) || cp > 0x10FFFF
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp < 0x10000) {
            out += QChar(char16_t(cp));
        } else {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        }
        i += more + 1;
    }
    return true;
}

TextEncoding markOf(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BE;
    return TextEncoding::Ansi;
}

QString utf16Units(QByteArrayView bytes, bool little)
{
    QString out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        out += QChar(little ? char16_t(a | b << 8) : char16_t(a << 8 | b));
    }
    return out;
}

void checkDecoded(QByteArrayView bytes)
{
    const auto where = [&] { return QString(show(QString::fromLatin1(bytes.data(), bytes.size()))); };
    rux::ScriptFileText file;
    const bool ok = rux::decodeScriptBytes(bytes, file);
    const TextEncoding mark = markOf(bytes);
    check(file.encoding == mark, "the mark decides the encoding", where);

    QString expected;
    bool valid = true;
    switch (mark) {
    case TextEncoding::Utf8:
        valid = decodeUtf8(bytes.sliced(3), expected);
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        valid = bytes.size() % 2 == 0;
        expected = utf16Units(bytes.sliced(2), mark == TextEncoding::Utf16LE);
        break;
    default:
        expected = rux::decodeAnsi(bytes);
        break;
    }
    check(ok == valid, "decoding fails only for text the mark does not allow", where);
    if (!ok) {
        check(file.text.isEmpty(), "a failed decoding gives no text", where);
        rux::ScriptFileLines lines;
        check(!rux::decodeScriptLines(QByteArray(bytes.data(), bytes.size()), lines), "bytes that do not decode do not read as lines", where);
        return;
    }
    check(file.text == fuzz::asLoaded(expected), "decoded text", [&] { return QString(where() + QStringLiteral(" -> ") + show(file.text)); });

    // Read as lines, the bytes give the lines of the decoded text.
    rux::ScriptFileLines lines;
    check(rux::decodeScriptLines(QByteArray(bytes.data(), bytes.size()), lines), "bytes that decode read as lines", where);
    check(lines.encoding == mark, "the mark decides the encoding of the lines", where);
    check(lines.lines.text() == fuzz::asEditorLines(file.text), "the lines hold the decoded text",
          [&] { return QString(where() + QStringLiteral(" -> ") + show(lines.lines.text())); });

    const QString &t = file.text;
    check(!t.contains(QChar(u'\0')), "no NUL", where);
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == u'\r')
            check(i + 1 < t.size() && t[i + 1] == u'\n', "every CR is followed by LF", where);
        if (t[i] == u'\n')
            check(i > 0 && t[i - 1] == u'\r', "every LF follows a CR", where);
    }

    // Saved in the encoding it was read with, it reads back the same.
    const QByteArray saved = rux::encodeScriptText(t, file.encoding);
    rux::ScriptFileText again;
    check(rux::decodeScriptBytes(saved, again), "a saved text decodes", where);
    check(again.encoding == file.encoding && again.text == t, "a saved text reads back", where);
    if (mark == TextEncoding::Ansi)
        check(saved == normalisedBytes(bytes), "bytes without a mark come back as they were", where);
}

void checkSaved(const QString &text)
{
    const auto where = [&] { return QString(show(text)); };
    const QString expected = fuzz::asLoaded(text);
    struct
    {
        TextEncoding encoding;
        bool applies;
    } cases[] = {
        {TextEncoding::Utf16LE, true},
        {TextEncoding::Utf16BE, true},
        {TextEncoding::Utf8, text.isValidUtf16()},
        {TextEncoding::Ansi, rux::decodeAnsi(rux::encodeAnsi(text)) == text},
    };
    for (const auto &c : cases) {
        if (!c.applies)
            continue;
        const QByteArray saved = rux::encodeScriptText(text, c.encoding);
        rux::ScriptFileText back;
        const bool ok = rux::decodeScriptBytes(saved, back);
        const TextEncoding mark = markOf(saved);
        if (c.encoding == TextEncoding::Ansi && mark != TextEncoding::Ansi) {
            check(back.encoding == mark, "ANSI bytes that begin like a mark read as that mark", where);
            continue;
        }
        check(ok, "a saved text decodes", where);
        check(back.encoding == c.encoding, "a saved text keeps its encoding", where);
        check(back.text == expected, "a saved text reads back", [&] { return QString(where() + QStringLiteral(" -> ") + show(back.text)); });
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkDecoded(bytes);
    checkSaved(fuzz::text(data, size));
    return 0;
}
