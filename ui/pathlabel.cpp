#include "ui/pathlabel.h"

#include <QPainter>
#include <QStyle>

namespace rux {

void PathLabel::setPath(const QString &text)
{
    setText(text);
    adjustSize();
    setToolTip(shownText() == text ? QString() : text);
}

QString PathLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void PathLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), shownText(), foregroundRole());
}

} // namespace rux
