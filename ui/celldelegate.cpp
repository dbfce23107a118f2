#include "ui/celldelegate.h"

#include "ui/datasource.h"

#include <QAbstractItemView>
#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolTip>

namespace rux {

namespace {

// A tooltip shows at most this much of a value.
constexpr int kTipChars = 4000;
// Lines up to this long show unwrapped.
constexpr int kTipLineChars = 100;

// The toolkit's display text has its line breaks as line separators.
qsizetype firstBreak(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' || text[i] == u'\r' || text[i] == QChar::LineSeparator)
            return i;
    }
    return -1;
}

} // namespace

const QString DataCellDelegate::kNullText = QStringLiteral("NULL");
const QString DataCellDelegate::kMoreLinesMark = QStringLiteral(" \u21B5\u2026");

bool isSetNullKey(const QKeyEvent *event)
{
    return event->key() == Qt::Key_0 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

void DataCellDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    ImmediateDelegate::initStyleOption(option, index);
    if (index.data(DataSource::NullRole).toBool()) {
        option->text = kNullText;
        option->font.setItalic(true);
        const QColor grey = option->palette.color(QPalette::Disabled, QPalette::Text);
        option->palette.setColor(QPalette::Text, grey);
        return;
    }
    const qsizetype cut = firstBreak(option->text);
    if (cut >= 0)
        option->text = option->text.left(cut) + kMoreLinesMark;
}

QWidget *DataCellDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    QWidget *editor = ImmediateDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        auto *toNull = new QAction(line);
        toNull->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
        toNull->setShortcutContext(Qt::WidgetShortcut);
        line->addAction(toNull);
        QPersistentModelIndex target(index);
        auto *self = const_cast<DataCellDelegate *>(this);
        connect(toNull, &QAction::triggered, line, [self, line, target]() {
            Q_EMIT self->closeEditor(line, QAbstractItemDelegate::NoHint);
            if (auto *source = qobject_cast<DataSource *>(const_cast<QAbstractItemModel *>(target.model())))
                source->setNull(target);
        });
    }
    return editor;
}

// Where the cell shows less than its value, the tooltip shows all of it;
// elsewhere the grid's own tooltip (why the rows are read-only) stands.
bool DataCellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                 const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid() || index.data(DataSource::NullRole).toBool())
        return ImmediateDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem shown = option;
    initStyleOption(&shown, index);
    const QString whole = index.data(Qt::DisplayRole).toString();
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const bool cut = firstBreak(whole) >= 0
        || shown.fontMetrics.horizontalAdvance(shown.text) > shown.rect.width() - 2 * margin;
    if (!cut)
        return ImmediateDelegate::helpEvent(event, view, option, index);
    QString tip = whole.left(kTipChars);
    if (whole.size() > kTipChars)
        tip += QChar(0x2026);
    // Rich text, so that the value's own line breaks stay; lines longer
    // than a screen's worth wrap in a box of a readable width.
    qsizetype longest = 0;
    for (const QStringView line : QStringView(tip).split(u'\n'))
        longest = qMax(longest, line.size());
    const QString body = tip.toHtmlEscaped();
    const QString html = longest <= kTipLineChars
        ? QStringLiteral("<p style='white-space:pre'>") + body + QStringLiteral("</p>")
        : QStringLiteral("<table width='560'><tr><td style='white-space:pre-wrap'>") + body
            + QStringLiteral("</td></tr></table>");
    QToolTip::showText(event->globalPos(), html, view, view->visualRect(index));
    return true;
}

} // namespace rux
