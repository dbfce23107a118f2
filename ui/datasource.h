#pragma once

#include "db/dataset.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QVector>

namespace rux {

class DataSet;

// Binds a data grid (and a record navigator) to a query or a table. It
// shows the rows of the data set as they are fetched and keeps the edit of
// one row at a time: the row being edited or the new row being inserted,
// whose values are written to the database only when the row is posted.
class DataSource : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum class State { Browse, Edit, Insert };
    // True for a cell that holds NULL (its display text is empty, as an
    // empty text's is).
    static constexpr int NullRole = Qt::UserRole + 1;

    explicit DataSource(QObject *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_dataSet; }

    State state() const { return m_state; }
    int editRow() const { return m_editRow; }
    bool modified() const { return m_modified; }
    bool canModify() const;
    // Why the rows cannot be edited (empty when they can, or none are open).
    QString readOnlyReason() const;

    // The row the grid's cursor stands on (for the indicator column).
    void setCurrentRow(int row);
    int currentRow() const { return m_currentRow; }

    // Writes the pending row; throws the engine's failure, the edit then
    // stays pending.
    void post();
    // Drops the pending edit; a new row disappears.
    void cancel();
    // Starts a new, empty row before `row` (posting a pending one first).
    void insertAt(int row);
    void deleteRow(int row);
    void refresh();

    // Rows read by key: a jump posts the pending row, then reads one window
    // at that end (rows not read lie between).
    bool canJump() const;
    void jumpToFirst();
    void jumpToLast();
    // After a jump to the end: reads the window before the first row and
    // places it first. Returns how many rows came; a failure is shown.
    bool canFetchBefore() const;
    int fetchBefore();

    // Rows read from any place (a table read by key): the count of all
    // rows (-1 until counted), the place of the first row held, counting
    // anew, and reading the window at a place (posting the pending row
    // first). A failure is shown; false then.
    bool canReadAt() const;
    qint64 rowsInAll() const;
    qint64 firstRowAt() const;
    bool countRows();
    bool readAt(qint64 position);

    // Writes NULL into a cell of the row being edited (starting the edit).
    bool setNull(const QModelIndex &index);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

Q_SIGNALS:
    void stateChanged();

private:
    void dataSetReset();
    int dataRow(int row) const;
    QVector<QVariant> rowTexts(int row) const;
    bool isNull(const QModelIndex &index) const;
    bool isNumber(const QModelIndex &index) const;
    void setState(State state, int row);

    QPointer<DataSet> m_dataSet;
    State m_state = State::Browse;
    int m_editRow = -1;
    bool m_modified = false;
    QVector<QVariant> m_buffer;
    int m_currentRow = -1;
    // Reading further failed (the table was dropped, say): the view asks
    // no more until the rows are read anew, so the failure shows once.
    bool m_readFailed = false;
};

} // namespace rux
