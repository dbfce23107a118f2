#include "ui/datasource.h"

#include "db/dataset.h"
#include "db/keepalive.h"
#include "db/valuetext.h"
#include "ui/program.h"

#include <QBrush>

namespace rux {

namespace {
constexpr int kFetchChunk = 256;
}

DataSource::DataSource(QObject *parent) : QAbstractTableModel(parent) {}

void DataSource::setDataSet(DataSet *dataSet)
{
    beginResetModel();
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (m_dataSet)
        connect(m_dataSet, &DataSet::reset, this, &DataSource::dataSetReset);
    m_state = State::Browse;
    m_editRow = -1;
    m_modified = false;
    m_buffer.clear();
    endResetModel();
}

void DataSource::dataSetReset()
{
    beginResetModel();
    m_readFailed = false;
    m_state = State::Browse;
    m_editRow = -1;
    m_modified = false;
    m_buffer.clear();
    m_currentRow = -1;
    endResetModel();
    Q_EMIT stateChanged();
}

bool DataSource::canModify() const
{
    return m_dataSet && m_dataSet->canModify();
}

int DataSource::dataRow(int row) const
{
    if (m_state == State::Insert && row > m_editRow)
        return row - 1;
    return row;
}

// The row being edited holds each cell's text, or a null for NULL, so that
// a NULL left alone stays NULL and an empty text stays an empty text.
QVector<QVariant> DataSource::rowTexts(int row) const
{
    QVector<QVariant> values;
    const int columns = m_dataSet ? m_dataSet->columnCount() : 0;
    for (int c = 0; c < columns; ++c) {
        if (m_dataSet->value(row, c).isNull())
            values.append(QVariant::fromValue(nullptr));
        else
            values.append(m_dataSet->displayText(row, c));
    }
    return values;
}

bool DataSource::isNull(const QModelIndex &index) const
{
    if (m_state != State::Browse && index.row() == m_editRow)
        return m_buffer.value(index.column()).typeId() == QMetaType::Nullptr;
    return m_dataSet->value(dataRow(index.row()), index.column()).isNull();
}

// Numbers stand right-aligned, so that a column of figures compares at a
// glance.
bool DataSource::isNumber(const QModelIndex &index) const
{
    if (m_state == State::Insert && index.row() == m_editRow)
        return false;
    if (m_dataSet->isDecimalColumn(index.column()))
        return true;
    return isNumberType(m_dataSet->value(dataRow(index.row()), index.column()).typeId());
}

void DataSource::setState(State state, int row)
{
    m_state = state;
    m_editRow = state == State::Browse ? -1 : row;
    Q_EMIT headerDataChanged(Qt::Vertical, 0, qMax(0, rowCount() - 1));
    Q_EMIT stateChanged();
}

void DataSource::setCurrentRow(int row)
{
    if (row == m_currentRow)
        return;
    const int old = m_currentRow;
    m_currentRow = row;
    if (old >= 0 && old < rowCount())
        Q_EMIT headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rowCount())
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
}

int DataSource::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet || !m_dataSet->isActive())
        return 0;
    return m_dataSet->fetchedRowCount() + (m_state == State::Insert ? 1 : 0);
}

int DataSource::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet)
        return 0;
    return m_dataSet->columnCount();
}

QString DataSource::readOnlyReason() const
{
    return m_dataSet ? m_dataSet->readOnlyReason() : QString();
}

QVariant DataSource::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    // Rows that cannot be written back look so, and say why.
    if (role == Qt::BackgroundRole || role == Qt::ToolTipRole) {
        const QString reason = readOnlyReason();
        if (reason.isEmpty())
            return QVariant();
        if (role == Qt::ToolTipRole)
            return reason;
        return QBrush(QColor(0xe6, 0xea, 0xed));
    }
    if (role == NullRole)
        return isNull(index);
    if (role == Qt::TextAlignmentRole)
        return isNumber(index) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    if (m_state != State::Browse && index.row() == m_editRow) {
        const QVariant &held = m_buffer.value(index.column());
        return held.typeId() == QMetaType::Nullptr ? QVariant(QString()) : held;
    }
    return m_dataSet->displayText(dataRow(index.row()), index.column());
}

bool DataSource::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !canModify())
        return false;
    const bool toNull = value.typeId() == QMetaType::Nullptr;
    if (m_state == State::Browse) {
        if (toNull ? isNull(index) : (!isNull(index) && data(index, Qt::EditRole) == value))
            return false;
        m_buffer = rowTexts(index.row());
        setState(State::Edit, index.row());
    } else if (index.row() != m_editRow) {
        return false;
    }
    m_buffer[index.column()] = value;
    m_modified = true;
    Q_EMIT dataChanged(index, index);
    return true;
}

QVariant DataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal) {
        const QString reason = readOnlyReason();
        if (!reason.isEmpty())
            return reason;
        return canModify() ? QVariant(QStringLiteral("Ctrl+0 sets a cell to NULL.")) : QVariant();
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return m_dataSet ? m_dataSet->columnName(section) : QString();
    // The indicator column: the current row, and whether it is being
    // edited or inserted.
    if (m_state == State::Insert && section == m_editRow)
        return QStringLiteral("*");
    if (m_state == State::Edit && section == m_editRow)
        return QStringLiteral("I");
    if (section == m_currentRow)
        return QStringLiteral("\u25B6");
    return QString();
}

Qt::ItemFlags DataSource::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (canModify())
        f |= Qt::ItemIsEditable;
    return f;
}

// Nothing is read while a statement keeps the windows alive: the database
// is busy with it (the view asks again later).
bool DataSource::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_dataSet && m_state != State::Insert && !m_readFailed
        && !keepalive::pumping() && m_dataSet->canFetchMore();
}

// Called by the view from the event loop: a failure reading further rows
// (the engine reports an error mid-way) is shown, and the rows read stay.
void DataSource::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const int before = m_dataSet->fetchedRowCount();
    m_readFailed = !Program::instance().guard([this]() { m_dataSet->fetchMore(kFetchChunk); });
    const int after = m_dataSet->fetchedRowCount();
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        endInsertRows();
    }
}

bool DataSource::canJump() const
{
    return m_dataSet && m_dataSet->isActive() && m_dataSet->canJump();
}

void DataSource::jumpToFirst()
{
    if (!canJump())
        return;
    post();
    m_dataSet->jumpToFirst(kFetchChunk);
}

void DataSource::jumpToLast()
{
    if (!canJump())
        return;
    post();
    m_dataSet->jumpToLast(kFetchChunk);
}

bool DataSource::canFetchBefore() const
{
    return m_dataSet && m_state != State::Insert && !m_readFailed && !keepalive::pumping()
        && m_dataSet->canFetchBefore();
}

int DataSource::fetchBefore()
{
    if (!canFetchBefore())
        return 0;
    int added = 0;
    m_readFailed = !Program::instance().guard([&]() { added = m_dataSet->fetchBefore(kFetchChunk); });
    if (added > 0) {
        beginInsertRows(QModelIndex(), 0, added - 1);
        if (m_editRow >= 0)
            m_editRow += added;
        if (m_currentRow >= 0)
            m_currentRow += added;
        endInsertRows();
    }
    return added;
}

bool DataSource::setNull(const QModelIndex &index)
{
    return setData(index, QVariant::fromValue(nullptr), Qt::EditRole);
}

bool DataSource::canReadAt() const
{
    return m_dataSet && m_dataSet->isActive() && m_state != State::Insert && !keepalive::pumping()
        && m_dataSet->canReadAt();
}

qint64 DataSource::rowsInAll() const
{
    return m_dataSet && m_dataSet->isActive() ? m_dataSet->rowsInAll() : -1;
}

qint64 DataSource::firstRowAt() const
{
    return m_dataSet ? m_dataSet->firstRowAt() : 0;
}

bool DataSource::countRows()
{
    if (!canReadAt())
        return false;
    return Program::instance().guard([this]() { m_dataSet->countRows(); });
}

bool DataSource::readAt(qint64 position)
{
    if (!canReadAt())
        return false;
    return Program::instance().guard([this, position]() {
        post();
        m_dataSet->readAt(position, kFetchChunk);
    });
}

void DataSource::post()
{
    if (m_state == State::Browse)
        return;
    if (m_state == State::Edit) {
        if (m_modified)
            m_dataSet->updateRow(m_editRow, m_buffer);
        const int row = m_editRow;
        m_modified = false;
        m_buffer.clear();
        setState(State::Browse, -1);
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
        return;
    }
    if (!m_modified) {
        cancel();
        return;
    }
    const int row = m_editRow;
    // The new row moves from the buffer into the data set's rows: the
    // row count stays the same.
    m_dataSet->insertRow(row, m_buffer);
    m_modified = false;
    m_buffer.clear();
    setState(State::Browse, -1);
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void DataSource::cancel()
{
    if (m_state == State::Browse)
        return;
    const int row = m_editRow;
    if (m_state == State::Insert) {
        beginRemoveRows(QModelIndex(), row, row);
        m_state = State::Browse;
        m_editRow = -1;
        endRemoveRows();
    }
    m_modified = false;
    m_buffer.clear();
    setState(State::Browse, -1);
    if (row < rowCount())
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void DataSource::insertAt(int row)
{
    if (!canModify())
        return;
    post();
    row = qBound(0, row, rowCount());
    beginInsertRows(QModelIndex(), row, row);
    m_buffer = QVector<QVariant>(columnCount(), QString());
    m_modified = false;
    m_state = State::Insert;
    m_editRow = row;
    endInsertRows();
    setState(State::Insert, row);
}

void DataSource::deleteRow(int row)
{
    if (m_state == State::Insert && row == m_editRow) {
        cancel();
        return;
    }
    if (!canModify() || row < 0 || row >= rowCount())
        return;
    if (m_state == State::Edit)
        cancel();
    m_dataSet->deleteRow(dataRow(row));
    beginRemoveRows(QModelIndex(), row, row);
    endRemoveRows();
}

void DataSource::refresh()
{
    post();
    if (m_dataSet)
        m_dataSet->refresh();
}

} // namespace rux
