#pragma once

#include <QLabel>

namespace rux {

// A one-line label that sizes itself to its text up to its maximum width
// and, where the text is wider, draws it shortened in the middle, so a long
// file name keeps its start and its end. The label's text stays whole, and
// the tooltip then shows all of it.
class PathLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Sets the text, sizes the label and sets the tooltip.
    void setPath(const QString &text);
    // The text as drawn.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace rux
