#pragma once

#include "exec/batchcut.h"
#include "exec/batchtext.h"

#include <QObject>

#include <memory>
#include <vector>

class QTextDocument;

namespace rux {

// How the run will read the lines of the editor's document, worked out
// only for the lines asked about, with the run's own cutter and reading of
// a batch. A batch never reaches over a "go", so the batch of a line is cut
// from the lines between the "go" before it and the "go" after it (its
// span), and the spans asked for are kept until an edit touches them.
class ScriptOutline : public QObject
{
public:
    explicit ScriptOutline(QTextDocument *document);

    struct Span
    {
        // The lines from the one after a "go" (or the first line) to the
        // next "go" (or the last line).
        int from = 0;
        int to = 0;
        // The span holds a batch: a "go", or statement lines before the end.
        bool hasBatch = false;
        CutBatch batch;
        // What the batch does; left as it is for an empty batch.
        BatchReading reading;
        // Where the tool's commands stand: from the line and column of
        // their first character to those of their last; line -1 without.
        struct Place
        {
            int line = -1;
            qsizetype column = 0;
        };
        Place exportFrom, exportTo, editFrom, editTo;
    };

    // The span of line `line`, from 0; null past the end.
    std::shared_ptr<const Span> spanOf(int line);
    // The number the batch of `span` has in the script, from 1: costs a
    // look at every line above it.
    int batchNumber(const Span &span) const;

    LineKind kindOf(int line) const;

private:
    void contentsChanged(int position, int removed, int added);
    QString lineText(int line) const;

    QTextDocument *m_document;
    // The spans worked out, in the order of their lines.
    std::vector<std::shared_ptr<const Span>> m_spans;
    int m_blockCount;
};

} // namespace rux
