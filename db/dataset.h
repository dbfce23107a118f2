#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

namespace rux {

// What a data grid shows and edits: the rows of an open query or table.
// Rows are read from the engine in windows as the grid asks for them
// (fetchMore), so a large result opens at once, and no statement is left
// open between windows once the program waits for the user: other programs
// can write to the database meanwhile. Writing operations throw Failure
// with the engine's text when the engine refuses; the cached rows then stay
// as they were.
class DataSet : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isActive() const = 0;
    // The fields shown, numbered from 0 for the grid.
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual bool isYesNoColumn(int column) const = 0;
    // Columns whose values are exact decimal numbers given as text.
    virtual bool isDecimalColumn(int column) const = 0;

    virtual int fetchedRowCount() const = 0;
    virtual bool canFetchMore() const = 0;
    virtual void fetchMore(int rows) = 0;
    // Rows read by key (a table with a rowid or a primary key) can be read
    // from either end: a jump reads one window there and drops the others.
    virtual bool canJump() const = 0;
    virtual void jumpToFirst(int rows) = 0;
    virtual void jumpToLast(int rows) = 0;
    // After a jump to the end, rows lie before the first fetched row.
    virtual bool canFetchBefore() const = 0;
    // Reads up to `rows` of them and places them first; returns how many.
    virtual int fetchBefore(int rows) = 0;
    // Rows that can be read from any place (a table read by key): the count
    // of all rows, as the engine last told it (-1 before it has been
    // counted), and the place among them of the first row held.
    virtual bool canReadAt() const { return false; }
    virtual qint64 rowsInAll() const { return -1; }
    virtual qint64 firstRowAt() const { return 0; }
    // Counts all rows anew.
    virtual void countRows() {}
    // The rows held become the window of up to `rows` rows at `position`
    // among all rows (the last window when fewer follow it).
    virtual void readAt(qint64 position, int rows)
    {
        Q_UNUSED(position);
        Q_UNUSED(rows);
    }
    virtual QVariant value(int row, int column) const = 0;
    virtual QString displayText(int row, int column) const = 0;

    // True when rows can be written back (one table, rows addressable).
    virtual bool canModify() const = 0;
    // Why an open set cannot be written back, for the user (names the
    // missing key where one is missing); empty when it can be.
    virtual QString readOnlyReason() const = 0;
    // Writes the values of a fetched row; `values` holds every shown column.
    virtual void updateRow(int row, const QVector<QVariant> &values) = 0;
    // Inserts a new row and places it at `row` among the fetched rows.
    virtual void insertRow(int row, const QVector<QVariant> &values) = 0;
    virtual void deleteRow(int row) = 0;
    // Reads the rows again from the engine.
    virtual void refresh() = 0;

Q_SIGNALS:
    // The set of columns or rows changed as a whole (opened, closed,
    // refreshed): a grid resets its view.
    void reset();
};

} // namespace rux
