// The command-line splitting rule and the five argument tests.
//
// Input: two texts s and t (see fuzzinput.h). Rules checked:
// - no argument is empty and none holds a double quote;
// - quoting every argument and joining them with blanks splits back into
//   the same arguments; so does a plain join when no argument holds a
//   character of U+0020 or below;
// - blanks and an empty quote pair in front change nothing;
// - when s holds no NUL and an even number of quotes (it ends outside a
//   quoted run), s + blank + t splits into the arguments of s followed by
//   those of t, and s followed by a NUL or by a blank and a lone quote at
//   the end splits into the arguments of s only;
// - each argument's effects follow the five tests: prefixes compared over
//   a to z only, values the rest of the argument as typed, the parameter
//   name and value around the first "=".

#include "fuzz/fuzzinput.h"

#include "exec/cmdline.h"

using fuzz::check;
using fuzz::show;

namespace {

bool isAsciiCaseless(QChar c, char16_t upper)
{
    return c == QChar(upper) || c == QChar(char16_t(upper + 32));
}

// The argument begins with `prefix` (capital letters and signs), each letter
// written in either case and nothing else counting as that letter.
bool hasPrefix(const QString &argument, const char *prefix)
{
    const qsizetype n = qsizetype(std::strlen(prefix));
    if (argument.size() < n)
        return false;
    for (qsizetype k = 0; k < n; ++k) {
        const char16_t want = char16_t(prefix[k]);
        const bool letter = want >= u'A' && want <= u'Z';
        if (letter ? !isAsciiCaseless(argument[k], want) : argument[k] != QChar(want))
            return false;
    }
    return true;
}

void checkArgument(const QString &a)
{
    const rux::ArgumentEffects e = rux::examineArgument(a);
    const auto where = [&] { return QString(show(a)); };

    check(e.database == hasPrefix(a, "DB="), "DB= test", where);
    check(e.database ? e.dbFileName == a.mid(3) : e.dbFileName.isEmpty(), "DB= value", where);
    check(e.script == hasPrefix(a, "SQL="), "SQL= test", where);
    check(e.script ? e.sqlFileName == a.mid(4) : e.sqlFileName.isEmpty(), "SQL= value", where);
    check(e.runId == hasPrefix(a, "ERR_P="), "ERR_P= test", where);
    check(e.runId ? e.runIdValue == a.mid(6) : e.runIdValue.isEmpty(), "ERR_P= value", where);
    check(e.go == (a.size() == 2 && hasPrefix(a, "GO")), "GO test", where);

    check(e.parameter == a.contains(u'$'), "parameter test", where);
    if (e.parameter) {
        if (a.contains(u'=')) {
            check(!e.name.contains(u'='), "name ends before the first =", where);
            check(e.name + u'=' + e.value == a, "name = value is the argument", where);
        } else {
            check(e.name.isEmpty() && e.value == a, "no = : empty name, whole value", where);
        }
    } else {
        check(e.name.isEmpty() && e.value.isEmpty(), "no parameter row", where);
    }
}

QString joinQuoted(const QStringList &arguments)
{
    QString out;
    for (const QString &a : arguments) {
        if (!out.isEmpty())
            out += u' ';
        out += u'"' + a + u'"';
    }
    return out;
}

bool holdsControl(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() <= 0x20)
            return true;
    }
    return false;
}

// Ends outside a quoted run and reaches no stop inside.
bool isClosedPiece(const QString &text)
{
    return !text.contains(QChar(u'\0')) && text.count(u'"') % 2 == 0;
}

void checkSplit(const QString &s)
{
    const QStringList args = rux::splitCommandLine(s);
    for (const QString &a : args) {
        check(!a.isEmpty(), "no empty argument", [&] { return QString(show(s)); });
        check(!a.contains(u'"'), "quotes are not part of an argument", [&] { return QString(show(s)); });
        checkArgument(a);
    }

    check(rux::splitCommandLine(joinQuoted(args)) == args, "quoted join splits back", [&] { return QString(show(s)); });
    bool plain = true;
    for (const QString &a : args)
        plain = plain && !holdsControl(a);
    if (plain)
        check(rux::splitCommandLine(args.join(u' ')) == args, "plain join splits back", [&] { return QString(show(s)); });

    check(rux::splitCommandLine(QStringLiteral(" \t\r\n") + s) == args, "leading blanks skipped", [&] { return QString(show(s)); });
    check(rux::splitCommandLine(QStringLiteral("\"\"") + s) == args, "leading empty pair skipped", [&] { return QString(show(s)); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList parts = fuzz::texts(data, size, 2);
    const QString &s = parts[0];
    const QString &t = parts[1];

    checkSplit(s);
    checkSplit(t);
    checkArgument(s);

    if (isClosedPiece(s)) {
        const QStringList first = rux::splitCommandLine(s);
        const QStringList second = rux::splitCommandLine(t);
        check(rux::splitCommandLine(s + u' ' + t) == first + second, "split of s + blank + t", [&] { return QString(show(s) + QStringLiteral(" / ") + show(t)); });
        check(rux::splitCommandLine(s + QChar(u'\0') + t) == first, "NUL ends the list", [&] { return QString(show(s) + QStringLiteral(" / ") + show(t)); });
        check(rux::splitCommandLine(s + QStringLiteral(" \"")) == first,
              "lone quote at the end ends the list", [&] { return QString(show(s)); });
    }
    return 0;
}
