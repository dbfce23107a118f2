// The parameter name rule and the discovery of a load.
//
// Input: three texts: the run identifier, the name cells of rows 1 to 6
// (one per line) and the script text, whose line breaks are written as
// CR LF and which is cut at a NUL, as a loaded file is. Rules checked:
// - the name rule: a name starts at its "$", is a prefix of the rest of the
//   line, and ends before the first blank at position p + 3 or later, or at
//   the end of the line when there is none;
// - the load, against a model written from the rules: lines that begin with
//   "#" are left alone, "%rid%" is replaced only in lines holding it in
//   lower case, every "$" of the other lines starts a name, a name not in
//   rows 1 to 6 is appended below the named rows, and more than 10 rows
//   fail;
// - appended rows count up from the named rows, names in rows up to 6 are
//   distinct and new; a script whose every line begins with "#" is left as
//   it is and yields no name.

#include "fuzz/fuzzinput.h"

#include "script/discovery.h"
#include "base/failure.h"
#include "script/memorycells.h"
#include "script/paramcells.h"
#include "script/replaceall.h"

#include <QPair>

#include <algorithm>
#include <optional>

using fuzz::asLoaded;
using fuzz::withCrLf;
using fuzz::check;
using fuzz::show;

namespace {

// The name rule, from the "$" at index k (0-based) of the line.
QString ruleName(const QString &line, qsizetype k)
{
    for (qsizetype b = k + 3; b < line.size(); ++b) {
        if (line[b] == u' ')
            return line.mid(k, b - k);
    }
    return line.mid(k);
}

void checkNameRule(const QString &line)
{
    check(rux::takeParameterName(line, 0).isEmpty(), "position 0 gives no name", [&] { return QString(show(line)); });
    check(rux::takeParameterName(line, int(line.size()) + 1).isEmpty(),
          "position past the end gives no name", [&] { return QString(show(line)); });
    for (qsizetype k = line.indexOf(u'$'); k >= 0; k = line.indexOf(u'$', k + 1)) {
        const QString name = rux::takeParameterName(line, int(k + 1));
        const auto where = [&] { return QString(show(line) + QStringLiteral(" at %1").arg(k + 1)); };
        check(name.startsWith(u'$'), "a name keeps its $", where);
        check(QStringView(line).mid(k).startsWith(name), "a name is the text from its $", where);
        const qsizetype end = k + name.size();
        if (end < line.size()) {
            check(line[end] == u' ', "a name ends before a blank", where);
            check(name.size() >= 3, "the blank that ends a name stands at p + 3 or later", where);
        }
        check(name.indexOf(u' ', 3) < 0, "no blank at p + 3 or later inside a name", where);
        check(name == ruleName(line, k), "name rule", where);
    }
}

struct Model
{
    QString text;
    int rows = 0;
    QList<QPair<int, QString>> newNames;
};

// The load as the rules state it; nullopt when an eleventh row is needed.
std::optional<Model> model(const QString &text, const QString &runId, const QStringList &grid)
{
    QString names[11];
    int n = 0;
    for (int r = 1; r <= 6; ++r) {
        names[r] = grid.value(r - 1);
        if (!names[r].isEmpty())
            ++n;
    }
    Model m;
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QStringList out;
    for (const QString &line : lines) {
        if (line.startsWith(u'#') || !line.contains(QStringLiteral("%rid%"))) {
            out << line;
            if (line.startsWith(u'#'))
                continue;
        } else {
            out << withCrLf(rux::replaceAllIgnoreCase(line, QStringLiteral("%rid%"), runId));
        }
        // A run identifier holding line breaks makes lines of its own.
        for (const QString &scanned : out.last().split(QStringLiteral("\r\n"))) {
            for (qsizetype k = scanned.indexOf(u'$'); k >= 0; k = scanned.indexOf(u'$', k + 1)) {
                const QString name = ruleName(scanned, k);
                bool known = false;
                for (int r = 1; r <= 6; ++r)
                    known = known || names[r] == name;
                if (known)
                    continue;
                ++n;
                if (n > 10)
                    return std::nullopt;
                names[n] = name;
                m.newNames.append({n, name});
            }
        }
    }
    // The lines go into the editor, which breaks lines at more than CR LF.
    m.text = fuzz::asEditorLines(out.join(QStringLiteral("\r\n")));
    m.rows = n;
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList parts = fuzz::texts(data, size, 3);
    const QString runId = parts[0];
    const QStringList gridNames = parts[1].split(u'\n').mid(0, 6);
    const QString text = fuzz::asEditorLines(asLoaded(parts[2]));

    rux::MemoryCells grid;
    for (int r = 1; r <= gridNames.size(); ++r)
        grid.setCell(0, r, gridNames[r - 1]);
    const int named = rux::countNamedRows(grid);

    const std::optional<Model> expected = model(text, runId, gridNames);
    std::optional<rux::DiscoveredScript> got;
    try {
        got = rux::discoverParameters(text, runId, grid);
    } catch (const rux::Failure &failure) {
        check(failure.text() == rux::tooManyParametersText(), "only too many rows fail", [&] { return QString(failure.text()); });
    }
    const auto where = [&] { return QString(show(runId) + QStringLiteral(" / ") + show(text)); };
    check(got.has_value() == expected.has_value(), "more than 10 rows fail, and only they", where);

    for (const QString &line : text.split(QStringLiteral("\r\n")))
        checkNameRule(line);

    if (got) {
        check(got->text == expected->text, "replaced text", [&] { return QString(where() + QStringLiteral(" -> ") + show(got->text)); });
        check(got->rowsInUse == expected->rows, "rows in use", where);
        check(got->rowsInUse == named + got->newNames.size(), "rows in use count the new names", where);
        check(got->newNames.size() == expected->newNames.size(), "number of new names", where);
        QStringList visible;
        for (int r = 1; r <= 6; ++r)
            visible << gridNames.value(r - 1);
        for (qsizetype k = 0; k < got->newNames.size(); ++k) {
            const rux::DiscoveredNames::Name &name = got->newNames[k];
            check(name.row == named + 1 + k, "new rows count up below the named rows", where);
            check(name.name == expected->newNames[k].second, "new name", where);
            check(name.name.startsWith(u'$'), "new name starts with $", where);
            if (name.row <= 6) {
                check(!visible.contains(name.name), "a name in rows 1 to 6 is new", where);
                visible[name.row - 1] = name.name;
            }
        }
        if (!runId.contains(u'\r') && !runId.contains(u'\n') && !std::any_of(runId.begin(), runId.end(), fuzz::endsEditorLine)) {
            check(got->text.count(QStringLiteral("\r\n")) == text.count(QStringLiteral("\r\n")),
                  "the replacement keeps the line count", where);
        }
    }

    // Every line a comment: nothing replaced, no name.
    QString commented = QStringLiteral("#") + text;
    commented.replace(QStringLiteral("\r\n"), QStringLiteral("\r\n#"));
    rux::MemoryCells empty;
    const rux::DiscoveredScript none = rux::discoverParameters(commented, runId, empty);
    check(none.text == commented && none.newNames.isEmpty() && none.rowsInUse == 0,
          "comment lines are left alone", [&] { return QString(show(commented)); });
    return 0;
}
