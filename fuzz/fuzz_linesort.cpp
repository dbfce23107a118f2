// The script runner's sorting of editor lines and the "drop" protection.
//
// Input: one text, taken as one line and, split at CR LF, as a script's
// lines. Rules checked, for each line:
// - the kinds in their order: a "#" anywhere drops the line; then an empty
//   line; then an apostrophe as the very first character makes a comment;
//   then a line that reads "go" (small letters) once the characters U+0000
//   to U+0020 are taken off both ends ends a batch; anything else is a
//   statement line;
// - a "#" added anywhere drops the line; an apostrophe put first makes a
//   line without "#" a comment; blanks, tabs and control characters around
//   a batch end keep it one, and "go" in any other case is a statement;
// - the protection is the plain, case-sensitive search for "drop": a line
//   with its letters a to z made capitals never protects, one with "drop"
//   put in anywhere always does.

#include "fuzz/fuzzinput.h"

#include "exec/linesort.h"
#include "base/textfold.h"

using fuzz::check;
using fuzz::show;
using rux::LineKind;

namespace {

bool trimmedReadsGo(const QString &line)
{
    qsizetype from = 0;
    qsizetype to = line.size();
    while (from < to && line[from].unicode() <= 0x20)
        ++from;
    while (to > from && line[to - 1].unicode() <= 0x20)
        --to;
    return QStringView(line).mid(from, to - from) == QLatin1String("go");
}

LineKind expectedKind(const QString &line)
{
    if (line.contains(u'#'))
        return LineKind::Dropped;
    if (line.isEmpty())
        return LineKind::Empty;
    if (line.front() == u'\'')
        return LineKind::Comment;
    if (trimmedReadsGo(line))
        return LineKind::BatchEnd;
    return LineKind::Statement;
}

void checkLine(const QString &line)
{
    const auto where = [&] { return QString(show(line)); };
    const LineKind kind = rux::sortLine(line);
    check(kind == expectedKind(line), "line kind", where);

    check(rux::sortLine(line + u'#') == LineKind::Dropped, "a # at the end drops", where);
    check(rux::sortLine(u'#' + line) == LineKind::Dropped, "a # in front drops", where);
    const qsizetype middle = line.size() / 2;
    check(rux::sortLine(line.left(middle) + u'#' + line.mid(middle)) == LineKind::Dropped,
          "a # anywhere drops", where);
    if (!line.contains(u'#'))
        check(rux::sortLine(u'\'' + line) == LineKind::Comment, "an apostrophe first comments", where);
    if (kind == LineKind::BatchEnd) {
        check(rux::sortLine(QStringLiteral(" \t\x01") + line + QStringLiteral("\r\x1f "))
                  == LineKind::BatchEnd,
              "blanks around a batch end", where);
        const QString capital = rux::asciiUpper(line);
        check(rux::sortLine(capital) == LineKind::Statement, "GO is a statement", where);
    }
    if (kind == LineKind::Comment)
        check(rux::sortLine(u' ' + line) != LineKind::Comment, "a blank before the apostrophe", where);

    const bool protects = rux::protectsBatch(line);
    check(protects == line.contains(QLatin1String("drop"), Qt::CaseSensitive), "drop test", where);
    check(!rux::protectsBatch(rux::asciiUpper(line)), "DROP does not protect", where);
    check(rux::protectsBatch(line.left(middle) + QStringLiteral("drop") + line.mid(middle)),
          "drop anywhere protects", where);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzz::text(data, size);
    checkLine(text);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    if (lines.size() > 1) {
        for (const QString &line : lines)
            checkLine(line);
    }
    return 0;
}
