#include "immediatedelegate.h"

#include <QLineEdit>

namespace rux {

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

} // namespace rux
