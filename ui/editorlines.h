#pragma once

#include "script/linestore.h"
#include "script/scriptlines.h"

#include <functional>
#include <memory>

class QPlainTextEdit;

namespace rux {

// The script's lines, held in a line store, and the editor that shows them.
// Reading and writing lines works on the store alone; the editor's document
// is kept in step with it:
// - a line written outside a bracket of changes goes into the document at
//   once; the lines written inside a bracket go in when the bracket ends, as
//   one change (the document's layout then hears of them once), or, when the
//   line breaks changed, as a new text that keeps the cursor and the scroll
//   position;
// - a new text is given to the document whole;
// - what changes the document from elsewhere (typing, another owner of the
//   editor) is taken into the store as it happens, block by block, so the
//   next line read sees it.
//
// Copies share the store and the editor.
class EditorLines : public ScriptLines
{
public:
    explicit EditorLines(QPlainTextEdit *editor);

    int lineCount() const override;
    QString line(int index) const override;
    bool lineHolds(int index, char16_t ascii) const override;
    void setLine(int index, const QString &text) override;
    QString text() const override;
    void setText(const QString &text) override;
    void takeLines(LineStore &&lines) override;
    void beginChanges() override;
    void endChanges() override;

    // While the view is left behind, the document is not kept in step with
    // the store: for a window nobody can see or type into, whose text need
    // never be laid out. Keeping it in step again gives the document the
    // store's text.
    void leaveViewBehind(bool behind);
    bool viewLeftBehind() const;

    // Asked between parts of a long write of changed lines into the
    // document: the windows may be kept alive there, and true ends the
    // write. The lines not written then take the document's text again,
    // so that store and document stay in step with a part of the change
    // made.
    void setInterruption(std::function<bool()> interrupted);

private:
    struct State;
    State &state() const;

    std::shared_ptr<State> m_state;
};

} // namespace rux
