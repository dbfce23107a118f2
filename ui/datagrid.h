#pragma once

#include <QSet>
#include <QTableView>

#include <functional>

namespace rux {

class DataSource;
class WholeTableScroll;

// The data grid: one column per field titled with the field name, an
// indicator column marking the current row and whether it is being edited
// (I) or inserted (*), editing in place when the data set can be written.
// A changed row is posted when the cursor moves to another row; Escape
// undoes the edit, Insert inserts a row, Down on the last row appends one,
// an appended row left untouched is dropped when the grid loses focus, and
// Ctrl+Delete deletes the current row after a confirmation.
//
// NULL shows greyed as "NULL", apart from an empty text; Ctrl+0 sets the
// current cell to NULL, while emptying a cell leaves an empty text (NULL in
// a column of numbers). Numbers stand right-aligned. A key typed into rows
// that cannot be written shows why, at the cell.
//
// Rows are read in windows: scrolling to the end, Down on the last row
// read and Ctrl+End read the next one. On a table read by key, Ctrl+End
// and Ctrl+Home jump to its last or first rows, scrolling up from the
// first row shown (or Up there) reads the window before it, and the scroll
// bar spans the whole table: moving it reads the window at its place.
class DataGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);
    ~DataGrid() override;

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }

    // Posts the pending row; a refusal is shown and the cursor stays on
    // the row. Returns false when the row could not be posted.
    bool postPending();
    // The Ctrl+Delete and navigator delete: asks, then deletes.
    void confirmAndDeleteCurrent();
    // Posts, then finishes an open cell editor.
    void commitEditor();
    // Jumps to the first or the last row of a table read by key (other
    // sets: to the first or the last row read so far, reading all first
    // for the last); the cursor goes there. A refused pending row stops it.
    void moveToFirst();
    void moveToLast();
    // Reads the window before the first row shown, keeping the rows in
    // view where they were. Returns how many rows came.
    int readRowsBefore();
    // Scrolls so that `row` (of the rows held) is the top row shown, and
    // makes it the current row.
    void showAtTop(int row);
    // The bar over the whole table.
    WholeTableScroll *wholeTableScroll() const { return m_wholeTable; }

    // The widest a column is made to fit its texts; the user may drag it
    // wider.
    static constexpr int kMaxFittedWidth = 300;
    // The narrowest, so that a short value typed into a column of short
    // ones still shows.
    static constexpr int kMinFittedWidth = 40;

    // The confirmation question; tests replace it to answer without a box.
    static std::function<bool(QWidget *)> confirmDelete;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void focusMoved(QWidget *now);
    // Before the cursor leaves the row being edited for `row`: posts it.
    // False when the engine refused it; the cursor then stays.
    bool mayMoveTo(int row);
    // New rows came (or all rows, after a reset): the columns widen to
    // their texts, and the cursor stands on the first row if it stood
    // nowhere.
    void rowsArrived(int first, int last, bool reset);
    // A key that would edit rows that cannot be written: says why, once
    // while it shows.
    void explainReadOnly();
    bool m_reverting = false;
    bool m_fitting = false;
    // Columns the user has sized by hand keep their width.
    QSet<int> m_sizedByHand;
    DataSource *m_source = nullptr;
    WholeTableScroll *m_wholeTable = nullptr;
};

} // namespace rux
