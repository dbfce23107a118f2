#pragma once

#include "scriptlines.h"

#include <QStringList>
#include <QTextCursor>

#include <memory>

class QPlainTextEdit;
class QTextDocument;

namespace rux {

// The script editor's text as lines: each text block is one line, however
// the editor wraps it on screen; the text is handed out with CR LF between
// lines and taken with CR LF, lone CR or LF as line breaks.
//
// Lines are read from a copy of the document's lines, taken in one walk
// over the blocks and kept while the document reports no change that did
// not come through this object: a script run reads every line once per
// batch and a substitution every line once per parameter, and a document
// finds a block by its number only by searching its tree.
class EditorLines : public ScriptLines
{
public:
    explicit EditorLines(QPlainTextEdit *editor);

    int lineCount() const override;
    QString line(int index) const override;
    void setLine(int index, const QString &text) override;
    QString text() const override;
    void setText(const QString &text) override;
    // An edit block of the editor's document: its layout hears of the
    // changes once, at the end, and lays out only what it shows.
    void beginChanges() override;
    void endChanges() override;

private:
    struct Mirror;
    // The copy of the lines, read afresh when the document has changed.
    const QStringList &lines() const;
    // The copy now matches the document again, after a change of our own.
    void keepMirror() const;

    QPlainTextEdit *m_editor;
    QTextCursor m_changes;
    // Shared with the signal connection that counts the document's changes.
    std::shared_ptr<Mirror> m_mirror;
};

} // namespace rux
