#pragma once

#include "scriptlines.h"

#include <QTextCursor>

class QPlainTextEdit;

namespace rux {

// The script editor's text as lines: each text block is one line, however
// the editor wraps it on screen; the text is handed out with CR LF between
// lines and taken with CR LF, lone CR or LF as line breaks.
class EditorLines : public ScriptLines
{
public:
    explicit EditorLines(QPlainTextEdit *editor) : m_editor(editor) {}

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
    QPlainTextEdit *m_editor;
    QTextCursor m_changes;
};

} // namespace rux
