#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

#include <functional>

namespace rux {

class ParamCells;
class ScriptOutline;

// The script editor. It shows each line the way the run will read it, as
// display only (the text stays as it is):
// - lines the run skips ("#" anywhere, a comment) are greyed, a "#" line
//   struck through;
// - a "go" line is drawn in blue, with a rule under it where its batch ends;
// - "totxt <file>" and "edit_table <table>" stand out as the tool's own
//   commands;
// - a "$name" is green when the substitution will write a value there,
//   red when the grid holds none for it;
// - the margin marks each batch's lines in the colour of its kind (result
//   set, data change, table editing; red for an empty batch), with a "!" on
//   every line of a batch whose failures "drop" silences, and dotted for
//   the last batch without "go", whose result stays in the grid.
// Hovering over a line tells its batch. Only the lines on screen are
// looked at, when they are painted.
class ScriptEditor : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit ScriptEditor(QWidget *parent = nullptr);

    // The grid whose rows 1 to rowsInUse() the substitution writes into
    // the script.
    void setParameters(const ParamCells *grid, std::function<int()> rowsInUse);
    // The grid's cells changed: the marks of the names are drawn anew.
    void parametersChanged();

    // What hovering over line `line` (from 0) shows.
    QString lineToolTip(int line);
    // The formats line `line` is drawn with.
    QList<QTextLayout::FormatRange> lineFormats(int line);

    ScriptOutline *outline() const { return m_outline; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    class Margin;
    friend class Margin;

    // Calls `visit` for each line that lies, at least in part, between the
    // viewport's rows `top` and `bottom`, with its box in the viewport.
    void forVisibleLines(int top, int bottom, const std::function<void(const QTextBlock &, const QRectF &)> &visit);
    void formatVisibleLines();
    void paintMargin(QPaintEvent *event);
    void showToolTip(const QPoint &viewportPos, const QPoint &globalPos);
    int rowsInUse() const;

    Margin *m_margin;
    ScriptOutline *m_outline;
    const ParamCells *m_grid = nullptr;
    std::function<int()> m_rowsInUse;
    bool m_formatting = false;
};

} // namespace rux
