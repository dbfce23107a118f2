#include "ui/immediatedelegate.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMouseEvent>

namespace rux {

namespace {

// Watches the view's viewport: a left click pressed and released on the
// cell that was current before the press opens its editor.
class ClickOnCurrentEdits : public QObject
{
public:
    explicit ClickOnCurrentEdits(QAbstractItemView *view) : QObject(view), m_view(view) {}

    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QModelIndex at = m_view->indexAt(mouse->position().toPoint());
            m_pressed = mouse->button() == Qt::LeftButton && mouse->modifiers() == Qt::NoModifier
                    && at.isValid() && at == m_view->currentIndex()
                ? QPersistentModelIndex(at)
                : QPersistentModelIndex();
            break;
        }
        case QEvent::MouseButtonDblClick:
            m_pressed = QPersistentModelIndex();
            break;
        case QEvent::MouseButtonRelease: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QModelIndex pressed = m_pressed;
            m_pressed = QPersistentModelIndex();
            if (mouse->button() == Qt::LeftButton && pressed.isValid()
                && m_view->indexAt(mouse->position().toPoint()) == pressed
                && m_view->currentIndex() == pressed)
                m_view->edit(pressed);
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    QAbstractItemView *m_view;
    QPersistentModelIndex m_pressed;
};

} // namespace

QWidget *ImmediateDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        QPersistentModelIndex target(index);
        connect(line, &QLineEdit::textEdited, line, [target](const QString &text) {
            if (target.isValid())
                const_cast<QAbstractItemModel *>(target.model())->setData(target, text, Qt::EditRole);
        });
    }
    return editor;
}

void installCellEditing(QAbstractItemView *view, ImmediateDelegate *delegate)
{
    view->setItemDelegate(delegate ? delegate : new ImmediateDelegate(view));
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                          | QAbstractItemView::AnyKeyPressed);
    view->viewport()->installEventFilter(new ClickOnCurrentEdits(view));
}

} // namespace rux
