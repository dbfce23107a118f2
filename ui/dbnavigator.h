#pragma once

#include <QWidget>

class QPushButton;

namespace rux {

class DataGrid;

// The record navigator: ten buttons, left to right first, prior, next,
// last, insert, delete, edit, post, cancel, refresh, acting on the grid's
// current row and its data source. Delete asks before it deletes.
class DBNavigator : public QWidget
{
    Q_OBJECT
public:
    explicit DBNavigator(QWidget *parent = nullptr);

    void setGrid(DataGrid *grid);
    QPushButton *button(const QString &name) const;

private:
    void act(const QString &name);
    void moveTo(int row);

    DataGrid *m_grid = nullptr;
};

} // namespace rux
