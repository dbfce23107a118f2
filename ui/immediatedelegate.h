#pragma once

#include <QStyledItemDelegate>

namespace rux {

// A cell delegate that hands every keystroke of the in-place editor to the
// model at once, so the cell (or the row being edited) holds the typed text
// while the editor is still open.
class ImmediateDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
};

} // namespace rux
