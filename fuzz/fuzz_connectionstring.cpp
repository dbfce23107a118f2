// The connection string: building it around a database file name, and
// reading pairs and the Data Source out of a string.
//
// Input: two texts: a database file name and a connection string. Rules
// checked:
// - the built string is the fixed head, the name exactly as given, one
//   blank and the fixed tail;
// - reading the Data Source back from a built string gives the name exactly
//   or fails: it never names another file; it does not fail for a name
//   without ";" that does not start with a quote (after blanks and tabs),
//   and the string then holds its 18 pairs;
// - any string either fails with a Failure or gives pairs whose keys are
//   not empty and carry no blanks or tabs around them and whose values are
//   not null; writing the pairs back with every value in double quotes
//   reads back the same pairs; a key's value is that of its last pair.

#include "fuzz/fuzzinput.h"

#include "db/connectionstring.h"
#include "base/failure.h"
#include "base/textfold.h"

#include <optional>

using fuzz::check;
using fuzz::show;

namespace {

const QString kHead = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=");
const QString kTail = QStringLiteral(
    " ;Mode=Share Deny None;Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";"
    "Jet OLEDB:Database Password=\"\";Jet OLEDB:Engine Type=4;Jet OLEDB:Database Locking Mode=0;"
    "Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
    "Extended Properties=\"\";"
    "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
    "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
    "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

std::optional<QList<rux::ConnectionPair>> tryParse(const QString &text)
{
    try {
        return rux::parseConnectionString(text);
    } catch (const rux::Failure &) {
        return std::nullopt;
    }
}

void checkBuilt(const QString &name)
{
    const auto where = [&] { return QString(show(name)); };
    const QString built = rux::buildConnectionString(name);
    check(built == kHead + name + kTail, "built string", where);

    bool mustRead = !name.contains(u';');
    for (const QChar c : name) {
        if (isBlank(c))
            continue;
        mustRead = mustRead && c != u'"' && c != u'\'';
        break;
    }

    std::optional<QString> source;
    try {
        source = rux::dataSourceOf(built);
    } catch (const rux::Failure &) {
    }
    if (source)
        check(*source == name, "the Data Source read back is the name", [&] { return QString(where() + QStringLiteral(" -> ") + show(*source)); });
    if (mustRead) {
        check(source.has_value(), "a plain name reads back", where);
        const std::optional<QList<rux::ConnectionPair>> pairs = tryParse(built);
        check(pairs.has_value() && pairs->size() == 18, "a plain name leaves 18 pairs", where);
    }
}

void checkParsed(const QString &text)
{
    const auto where = [&] { return QString(show(text)); };
    const std::optional<QList<rux::ConnectionPair>> pairs = tryParse(text);
    if (!pairs)
        return;
    QString rewritten;
    for (qsizetype index = 0; index < pairs->size(); ++index) {
        const rux::ConnectionPair &pair = pairs->at(index);
        check(!pair.key.isEmpty(), "keys are not empty", where);
        check(!isBlank(pair.key.front()) && !isBlank(pair.key.back()), "keys lose their blanks", where);
        check(!pair.key.contains(u'=') && !pair.key.contains(u';'), "keys hold no = or ;", where);
        check(!pair.value.isNull(), "values are not null", where);
        QString quoted = pair.value;
        quoted.replace(u'"', QStringLiteral("\"\""));
        rewritten += pair.key + QStringLiteral("=\"") + quoted + QStringLiteral("\";");

        // Looking a key up parses the whole string again: done for the
        // first and the last pair and one in the middle only.
        if (index != 0 && index != pairs->size() - 1 && index != pairs->size() / 2)
            continue;
        QString last;
        for (const rux::ConnectionPair &other : *pairs) {
            if (rux::asciiLower(other.key) == rux::asciiLower(pair.key))
                last = other.value;
        }
        check(rux::connectionValue(text, pair.key) == last, "a key's value is its last pair's", where);
    }
    const std::optional<QList<rux::ConnectionPair>> again = tryParse(rewritten);
    check(again.has_value() && again->size() == pairs->size(), "quoted pairs read back", [&] { return QString(show(rewritten)); });
    for (qsizetype k = 0; k < pairs->size(); ++k) {
        check(again->at(k).key == pairs->at(k).key && again->at(k).value == pairs->at(k).value,
              "quoted pairs read back the same", [&] { return QString(show(rewritten)); });
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList parts = fuzz::texts(data, size, 2);
    checkBuilt(parts[0]);
    checkParsed(parts[1]);
    checkParsed(parts[0]);
    checkParsed(rux::buildConnectionString(parts[0]));
    return 0;
}
