#include "ui/stringgrid.h"

#include "ui/immediatedelegate.h"

#include <QHeaderView>

namespace rux {

namespace {

constexpr int kColumns = 2;
constexpr int kRows = kGridRowCount;

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
    installCellEditing(this);
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
