#include "stringgrid.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace rux {

namespace {

constexpr int kColumns = 2;
constexpr int kRows = kGridRowCount;

// Writes every keystroke into the cell, so the cell holds the typed text
// while the editor is still open.
class ImmediateDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
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
};

} // namespace

StringGrid::StringGrid(QWidget *parent)
    : QTableWidget(kRows, kColumns, parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    for (int c = 0; c < kColumns; ++c)
        setColumnWidth(c, 120);
    for (int r = 0; r < kRows; ++r)
        setRowHeight(r, 24);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setItemDelegate(new ImmediateDelegate(this));
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setSelectionMode(QAbstractItemView::ContiguousSelection);

    const QBrush fixed = palette().brush(QPalette::Button);
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            auto *item = new QTableWidgetItem;
            if (r == 0 || c == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(fixed);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            }
            setItem(r, c, item);
        }
    }
}

QString StringGrid::cell(int column, int row) const
{
    if (column < 0 || column >= kColumns || row < 0)
        return QString();
    if (row < kRows)
        return item(row, column)->text();
    const auto it = m_hiddenRows.constFind(row);
    if (it == m_hiddenRows.constEnd())
        return QString();
    return column == 0 ? it->first : it->second;
}

void StringGrid::setCell(int column, int row, const QString &text)
{
    if (column < 0 || column >= kColumns || row < 0)
        return;
    if (row < kRows) {
        item(row, column)->setText(text);
        return;
    }
    auto &cells = m_hiddenRows[row];
    (column == 0 ? cells.first : cells.second) = text;
}

} // namespace rux
