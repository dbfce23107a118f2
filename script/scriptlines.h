#pragma once

#include <QString>

namespace rux {

class LineStore;

// The script as lines of text, as the editor holds it. Lines are separated
// by CR LF; an empty last line is not counted, so a text ending in a line
// break has as many lines as line breaks and an empty text has none.
// Reading a line past the end gives an empty text.
class ScriptLines
{
public:
    virtual ~ScriptLines() = default;

    virtual int lineCount() const = 0;
    virtual QString line(int index) const = 0;
    // Whether line `index` holds the ASCII character `ascii`; false past
    // the end.
    virtual bool lineHolds(int index, char16_t ascii) const { return line(index).contains(QChar(ascii)); }
    // Replaces exactly the characters of line `index`; other lines stay.
    // Writing past the end does nothing.
    virtual void setLine(int index, const QString &text) = 0;
    // The whole text, lines joined by CR LF.
    virtual QString text() const = 0;
    // Replaces the whole text (line breaks given as CR LF). Throws Failure
    // when the editor cannot take it; the old text then stays.
    virtual void setText(const QString &text) = 0;
    // Replaces the whole text by the lines of `lines`.
    virtual void takeLines(LineStore &&lines);

    // Brackets a run of setLine calls that nothing reads between: the
    // editor may then take them as one change and lay out the changed lines
    // once, at the end, instead of once per line. Every line already holds
    // its new text inside the bracket. Brackets do not nest.
    virtual void beginChanges() {}
    virtual void endChanges() {}
};

// Opens a bracket of changes for the time of a scope.
class ScriptLineChanges
{
public:
    explicit ScriptLineChanges(ScriptLines &lines) : m_lines(lines) { m_lines.beginChanges(); }
    ~ScriptLineChanges() { m_lines.endChanges(); }
    ScriptLineChanges(const ScriptLineChanges &) = delete;
    ScriptLineChanges &operator=(const ScriptLineChanges &) = delete;

private:
    ScriptLines &m_lines;
};

} // namespace rux
