#pragma once

#include <QObject>
#include <QPointer>

class QScrollBar;

namespace rux {

class DataGrid;
class DataSource;

// The scroll bar of a grid on a table read by key spans the whole table,
// not only the rows held: it lies over the grid's own bar (which the grid
// goes on using for the rows held), its range is the table's row count and
// its thumb stands at the place of the top row shown. Moving it within the
// rows held scrolls them; moving it further reads the window at that place.
// The count comes from the engine after the first rows have been shown and
// again whenever a window is read by a jump.
class WholeTableScroll : public QObject
{
    Q_OBJECT
public:
    explicit WholeTableScroll(DataGrid *grid);

    void setSource(DataSource *source);
    QScrollBar *bar() const { return m_bar; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool readsAnywhere() const;
    bool active() const;
    // The bar follows the grid: range, page and the top row's place.
    void follow();
    void place();
    void moved(int value);
    void goToTarget();
    void count();

    DataGrid *m_grid;
    QPointer<DataSource> m_source;
    QScrollBar *m_bar;
    bool m_following = false;
    // The place the user moved to, still to be shown (-1: none).
    qint64 m_target = -1;
    bool m_counted = false;
    bool m_countAfterPaint = false;
};

} // namespace rux
