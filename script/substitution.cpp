#include "script/substitution.h"

#include "script/discovery.h"
#include "base/failure.h"
#include "script/replaceall.h"

namespace rux {

namespace {

// Lines of a pass between two calls of linesDone.
constexpr int kLinesBetweenCalls = 256;

} // namespace

void substituteParameters(ScriptLines &editor, const ParamCells &grid, int varCount,
                          const std::function<void()> &processEvents,
                          const std::function<void()> &linesDone)
{
    if (varCount > kMaxParamRows)
        throw Failure(tooManyParametersText());
    if (varCount <= 0)
        return;

    const int lineCount = editor.lineCount();
    for (int r = 1; r <= varCount; ++r) {
        const QString name = grid.cell(0, r);
        const QString value = grid.cell(1, r);
        if (!name.isEmpty()) {
            // One change to the editor per row: the window is repainted
            // (by processEvents below) only after the pass.
            const ScriptLineChanges changes(editor);
            for (int i = 0; i < lineCount; ++i) {
                if (linesDone && i % kLinesBetweenCalls == kLinesBetweenCalls - 1)
                    linesDone();
                if (!editor.lineHolds(i, u'$'))
                    continue;
                const QString line = editor.line(i);
                const QString replaced = replaceAllIgnoreCase(line, name, value);
                // Untouched lines come back sharing the line's data; writing
                // them back would change nothing.
                if (replaced.constData() != line.constData() && replaced != line)
                    editor.setLine(i, replaced);
            }
        }
        if (processEvents)
            processEvents();
    }
}

QList<ParameterMark> parameterMarks(const QString &line, const ParamCells &grid, int varCount)
{
    QList<ParameterMark> marks;
    const int rows = qMin(varCount, kMaxParamRows);
    qsizetype p = line.indexOf(u'$');
    while (p >= 0) {
        ParameterMark mark;
        mark.at = p;
        for (int r = 1; r <= rows && mark.row == 0; ++r) {
            const QString name = grid.cell(0, r);
            if (!name.isEmpty() && startsWithIgnoreCase(line, p, name)) {
                mark.row = r;
                mark.length = name.size();
                mark.filled = !grid.cell(1, r).isEmpty();
            }
        }
        if (mark.row == 0)
            mark.length = takeParameterName(line, int(p) + 1).size();
        marks.append(mark);
        p = line.indexOf(u'$', p + qMax<qsizetype>(1, mark.length));
    }
    return marks;
}

void clearParameterRows(ParamCells &grid)
{
    for (int r = 1; r <= kGridRowCount; ++r) {
        grid.setCell(0, r, QString());
        grid.setCell(1, r, QString());
    }
}

} // namespace rux
