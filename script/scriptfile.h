#pragma once

#include "script/linestore.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace rux {

// The text encoding of a script file, found by its byte-order mark when it is
// read and used again when the editor's text is saved. None: no file has been
// loaded yet; saving then writes the ANSI code page.
enum class TextEncoding { None, Ansi, Utf8, Utf16LE, Utf16BE };

struct ScriptFileText
{
    QString text;           // line breaks as CR LF, cut at the first NUL
    TextEncoding encoding;  // Ansi, Utf8, Utf16LE or Utf16BE
};

// The most UTF-16 code units the script editor takes.
constexpr qsizetype kMemoCapacity = qsizetype(64) * 1024 * 1024;

// Turns the bytes of a script file into its text. The encoding comes from
// the byte-order mark (EF BB BF, FF FE, FE FF, tested in this order); without
// one the bytes are Windows-1252. The mark is not part of the text. Every
// CR LF, lone CR and lone LF becomes CR LF, and the text ends at the first
// NUL. Returns false, with `result.encoding` set from the mark and an empty
// text, when the bytes after a UTF-8 mark are not valid UTF-8 or those after
// a UTF-16 mark are an odd number; bytes without a mark always decode.
bool decodeScriptBytes(QByteArrayView bytes, ScriptFileText &result);

// The text of a script file as the lines the editor holds: decoded by the
// rules of decodeScriptBytes(), and split into lines as the editor splits
// its text. A file without a mark whose bytes are all ASCII, and a UTF-8
// file, keep their bytes in the store as they were read.
struct ScriptFileLines
{
    LineStore lines;
    TextEncoding encoding = TextEncoding::Ansi;
    // The text is surely longer than the editor takes (kMemoCapacity);
    // `lines` is then empty.
    bool tooLong = false;
};
bool decodeScriptLines(const QByteArray &bytes, ScriptFileLines &result);

// The bytes that saving writes for `text`: the mark of `encoding` and the
// text exactly as given (None and Ansi: Windows-1252 without a mark, "?" for
// a character it lacks).
QByteArray encodeScriptText(const QString &text, TextEncoding encoding);

// What an encoding cannot hold of a text: how many characters, the first of
// them (its code, and its line and column counted from 1 in characters), and
// whether a lone surrogate is among them. A surrogate pair is one character.
// Windows-1252 lacks everything outside its 256 characters; UTF-8 lacks only
// lone surrogates; UTF-16 holds every text as it is.
struct UnstorableText
{
    qsizetype count = 0;
    char32_t first = 0;
    qsizetype line = 0;
    qsizetype column = 0;
    bool loneSurrogate = false;
};
UnstorableText findUnstorable(QStringView text, TextEncoding encoding);

// The encoding to save in instead when `lost` is not empty: UTF-8 with its
// mark, or UTF-16 LE with its mark when a lone surrogate must be kept.
TextEncoding encodingThatHolds(const UnstorableText &lost);

// The encoding's name as the user reads it.
QString encodingName(TextEncoding encoding);

// Reads a script file whole and decodes it as decodeScriptBytes() does.
// Throws Failure when the file cannot be opened or read, and when its bytes
// do not decode.
ScriptFileText readScriptFile(const QString &fileName);
// Reads a script file whole into lines, as decodeScriptLines() decodes it,
// with the failures of readScriptFile().
ScriptFileLines readScriptLines(const QString &fileName);

// Writes `text` exactly as given, after the mark of `encoding` (None and Ansi:
// Windows-1252 without a mark, "?" for a character it lacks). The file is
// written beside its target and renamed over it only when everything has been
// written, so a failure leaves an existing file as it was. Throws Failure when
// the file cannot be created and when writing fails.
void writeScriptFile(const QString &fileName, const QString &text, TextEncoding encoding);

} // namespace rux
