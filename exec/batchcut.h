#pragma once

#include "exec/linesort.h"

#include <QString>

#include <vector>

namespace rux {

class ScriptLines;

// A batch as the run cuts it from the script's lines (lines count from 0).
struct CutBatch
{
    // Its first and last statement lines; an empty batch (a "go" with no
    // statement line before it) has its "go" line as both.
    int first = -1;
    int last = -1;
    // The "go" line that ends it; -1 for the trailing batch (statement
    // lines after the last "go"), which the run leaves open for the grid.
    int goLine = -1;
    // The run silences its failures: a statement line holds "drop" and a
    // "go" ends it. The trailing batch never is protected.
    bool protect = false;
    // Where the first "drop" stands (line and column), also in a trailing
    // batch; -1 when none does.
    int dropLine = -1;
    int dropColumn = -1;
    // Its statement lines, each followed by CR LF, and the line each of
    // them is; both left empty by a cutter that keeps no text.
    QString text;
    std::vector<int> lines;

    // A "go" with no statement line before it: the run fails on it.
    bool isEmpty() const { return goLine >= 0 && first == goLine; }
    // The script line, and the position in it, of position `at` of text.
    int lineAt(qsizetype at) const;
    qsizetype columnAt(qsizetype at) const;
};

// Cuts the script's lines into batches, line by line, as the run reads
// them: statement lines collect into a batch up to a line reading "go";
// "#" lines, empty lines and comments belong to no batch.
//
// The lines are given in order, from the script's first line or from the
// line after a "go": a batch never reaches back over a "go", so a cutter
// started there cuts the same batches as one started at the top.
class BatchCutter
{
public:
    enum class Text { Kept, Dropped };
    explicit BatchCutter(Text text = Text::Kept) : m_keepText(text == Text::Kept) {}

    // Takes line `index`. Returns its kind; after a BatchEnd, batch() holds
    // the batch the line ended, until the next line is taken.
    LineKind take(int index, const QString &line);
    // After the last line: true when statement lines follow the last "go";
    // batch() then holds that trailing batch.
    bool finish();

    const CutBatch &batch() const { return m_batch; }

private:
    void startBatch();

    CutBatch m_batch;
    bool m_keepText;
    bool m_ended = false;
};

// Every batch of the script, in order.
std::vector<CutBatch> cutBatches(const ScriptLines &lines);

} // namespace rux
