#pragma once

#include "ui/immediatedelegate.h"

namespace rux {

// The cells of a data grid: NULL drawn greyed and in italics as "NULL",
// apart from an empty text; a value of several lines as its first line and
// a mark; and, for a value shown shortened or cut at a line break, a
// tooltip with the whole value. In the cell editor Ctrl+0 sets the cell to
// NULL.
class DataCellDelegate : public ImmediateDelegate
{
    Q_OBJECT
public:
    using ImmediateDelegate::ImmediateDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // What a NULL cell shows, and the mark after the first line of a value
    // of several lines.
    static const QString kNullText;
    static const QString kMoreLinesMark;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// The key that sets a cell to NULL.
bool isSetNullKey(const QKeyEvent *event);

} // namespace rux
