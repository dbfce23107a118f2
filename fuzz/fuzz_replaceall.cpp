// The replace-all rule.
//
// Input: three texts: the text, the pattern and the replacement. Both text
// and pattern are compared upper-cased one UTF-16 code unit at a time (a
// surrogate half stays as it is), so the upper-cased copies keep every
// character in its place. Rules checked:
// - an empty pattern, or an empty text, changes nothing;
// - the result is the text with the matches found from left to right in the
//   upper-cased copies (each search going on behind the last match)
//   replaced by the replacement unchanged: the text between the matches is
//   kept, the length changes by the replacement's minus the pattern's
//   length once per match, and without a match the text comes back as it is;
// - the result holds no occurrence of the pattern that lies wholly in text
//   that was kept: every one that is left touches an inserted replacement;
// - replacing the pattern by itself leaves the upper-cased text unchanged;
// - the letters a to z of the pattern may be given in either case.

#include "fuzz/fuzzinput.h"

#include "script/replaceall.h"
#include "base/textfold.h"

#include <QList>

using fuzz::check;
using fuzz::show;

namespace {

QString upperUnits(const QString &text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out[i].unicode();
        if (QChar::isSurrogate(c))
            continue;
        const char32_t u = QChar::toUpper(char32_t(c));
        if (u <= 0xFFFF)
            out[i] = QChar(char16_t(u));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList parts = fuzz::texts(data, size, 3);
    const QString &text = parts[0];
    const QString &pattern = parts[1];
    const QString &replacement = parts[2];
    const auto where = [&] { return QString(show(text) + QStringLiteral(" / ") + show(pattern) + QStringLiteral(" / ")
        + show(replacement)); };

    const QString result = rux::replaceAllIgnoreCase(text, pattern, replacement);

    if (pattern.isEmpty())
        check(result == text, "an empty pattern changes nothing", where);
    if (text.isEmpty())
        check(result.isEmpty(), "an empty text stays empty", where);

    // The matches, found with a plain search in the upper-cased copies.
    const QString upperText = upperUnits(text);
    const QString upperPattern = upperUnits(pattern);
    QList<qsizetype> matches;
    if (!pattern.isEmpty()) {
        for (qsizetype at = upperText.indexOf(upperPattern, 0, Qt::CaseSensitive); at >= 0;
             at = upperText.indexOf(upperPattern, at + pattern.size(), Qt::CaseSensitive))
            matches.append(at);
    }

    // The result, piece by piece: kept text and inserted replacements.
    struct Piece
    {
        qsizetype from;  // in the result
        qsizetype size;
        bool inserted;
    };
    QList<Piece> pieces;
    QString expected;
    qsizetype kept = 0;
    for (const qsizetype at : matches) {
        pieces.append({expected.size(), at - kept, false});
        expected += QStringView(text).mid(kept, at - kept);
        pieces.append({expected.size(), replacement.size(), true});
        expected += replacement;
        kept = at + pattern.size();
    }
    pieces.append({expected.size(), text.size() - kept, false});
    expected += QStringView(text).mid(kept);

    check(result == expected, "every match replaced, the rest kept", [&] { return QString(where() + QStringLiteral(" -> ") + show(result)); });
    check(result.size() == text.size() + matches.size() * (replacement.size() - pattern.size()),
          "length changes once per match", where);
    if (matches.isEmpty())
        check(result == text, "no match, no change", where);

    // No occurrence of the pattern left in text that was kept. The pieces
    // stand in the order of the result, so one pass over them serves all
    // occurrences, which are found in that order too.
    if (!pattern.isEmpty()) {
        const QString upperResult = upperUnits(result);
        const qsizetype m = pattern.size();
        qsizetype first = 0;  // the first piece that does not end before the occurrence
        for (qsizetype at = upperResult.indexOf(upperPattern, 0, Qt::CaseSensitive); at >= 0;
             at = upperResult.indexOf(upperPattern, at + 1, Qt::CaseSensitive)) {
            while (first < pieces.size() && pieces[first].from + pieces[first].size <= at)
                ++first;
            bool touchesInserted = false;
            for (qsizetype k = first; k < pieces.size() && pieces[k].from < at + m && !touchesInserted;
                 ++k) {
                const Piece &piece = pieces[k];
                if (!piece.inserted)
                    continue;
                if (piece.size > 0)
                    touchesInserted = piece.from + piece.size > at;
                else
                    // An empty replacement leaves no characters; the
                    // occurrence must then run across the place where a
                    // match was cut out.
                    touchesInserted = piece.from > at;
            }
            check(touchesInserted, "no occurrence left in kept text",
                  [&] { return QString(where() + QStringLiteral(" at %1").arg(at)); });
        }
    }

    check(upperUnits(rux::replaceAllIgnoreCase(text, pattern, pattern)) == upperText,
          "replacing the pattern by itself keeps the upper-cased text", where);
    check(rux::replaceAllIgnoreCase(text, rux::asciiLower(pattern), replacement) == result,
          "pattern letters in small letters", where);
    check(rux::replaceAllIgnoreCase(text, rux::asciiUpper(pattern), replacement) == result,
          "pattern letters in capitals", where);
    return 0;
}
