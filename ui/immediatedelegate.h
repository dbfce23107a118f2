#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

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

// Sets up in-place editing of a grid's cells: the immediate delegate, and
// an editor that opens on a double click, on F2, on any typed key, and on a
// click on the cell that already is the current one. That last editor opens
// when the click is released, not after the double-click interval as the
// toolkit's own trigger does, which drops every key typed in between.
// `delegate`: one of the view's own in place of the plain one.
void installCellEditing(QAbstractItemView *view, ImmediateDelegate *delegate = nullptr);

} // namespace rux
