// The floor of the parameter substitution: the passes an unattended run
// makes (two, each over every parameter row) done with the substitution
// rule itself over the script's lines held in a plain list, with no editor.
//
//   bench_substitution_floor SCRIPT '$name=value' ...
//
// Prints "passes_ms=<time of the passes>", the line count and the number of
// lines written back.
// Reading the file and starting the process are not timed: the suite adds
// rux_ppp's own start-up to this floor.

#include "script/discovery.h"
#include "base/failure.h"
#include "script/memorycells.h"
#include "script/paramcells.h"
#include "script/scriptlines.h"
#include "script/substitution.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

class ListLines : public rux::ScriptLines
{
public:
    int lineCount() const override { return int(m_lines.size()); }
    QString line(int index) const override { return m_lines.value(index); }
    void setLine(int index, const QString &text) override
    {
        if (index >= 0 && index < m_lines.size()) {
            m_lines[index] = text;
            ++changes;
        }
    }
    QString text() const override { return m_lines.join(QStringLiteral("\r\n")); }
    void setText(const QString &text) override
    {
        m_lines = text.split(QStringLiteral("\r\n"));
        // An empty last line is not a line of the script.
        if (!m_lines.isEmpty() && m_lines.last().isEmpty())
            m_lines.removeLast();
    }
    long changes = 0;

private:
    QStringList m_lines;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_substitution_floor SCRIPT '$name=value' ...\n");
        return 2;
    }
    // The rows as the start-up fills them from the command line, then the
    // script loaded and its names listed by the program's own loading rule,
    // which also gives the number of rows the passes cover.
    rux::MemoryCells grid;
    int rows = 0;
    for (int i = 2; i < args.size(); ++i) {
        const QString &a = args[i];
        const qsizetype eq = a.indexOf(u'=');
        if (eq < 0)
            continue;
        ++rows;
        grid.setCell(0, rows, a.left(eq));
        grid.setCell(1, rows, a.mid(eq + 1));
    }
    ListLines editor;
    rux::TextEncoding encoding = rux::TextEncoding::None;
    int varCount = 0;
    try {
        varCount = rux::loadScript(args[1], QStringLiteral("-999"), editor, grid, encoding);
    } catch (const rux::Failure &failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    // The unattended run substitutes twice: once before it runs the
    // script, once as the run's first step.
    rux::substituteParameters(editor, grid, varCount, nullptr);
    rux::substituteParameters(editor, grid, varCount, nullptr);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("passes_ms=%.3f lines=%d changed=%ld\n", ms, editor.lineCount(), editor.changes);
    return 0;
}
