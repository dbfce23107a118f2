#include "ui/datagrid.h"

#include "base/failure.h"
#include "ui/boxes.h"
#include "ui/celldelegate.h"
#include "ui/datasource.h"
#include "ui/program.h"
#include "ui/tablescroll.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

namespace rux {

namespace {

// Beyond a cell text's own size: the grid line and a little air, so that
// a text that fits is never drawn shortened.
constexpr int kCellAir = 5;

bool askDelete(QWidget *parent)
{
    if (Program::instance().headless())
        return true;
    return showBox(QMessageBox::Question, QStringLiteral("Bestätigen"), QStringLiteral("Datensatz löschen?"),
                   {QStringLiteral("OK"), QStringLiteral("Abbrechen")}, parent)
        == 0;
}

} // namespace

std::function<bool(QWidget *)> DataGrid::confirmDelete = askDelete;

DataGrid::DataGrid(QWidget *parent) : QTableView(parent)
{
    installCellEditing(this, new DataCellDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setShowGrid(true);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->viewport()->installEventFilter(this);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!m_fitting)
            m_sizedByHand.insert(column);
    });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *now) { focusMoved(now); });
    // The user scrolls up past the first row shown (arrow, page, wheel,
    // drag): the rows before it are read.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int) {
        if (verticalScrollBar()->sliderPosition() == verticalScrollBar()->minimum())
            readRowsBefore();
    });
    m_wholeTable = new WholeTableScroll(this);
}

// The bar's watch goes while the grid is still whole: the base classes'
// destructors take the scroll bars away, and the watch must not see that.
DataGrid::~DataGrid()
{
    delete m_wholeTable;
}

void DataGrid::setDataSource(DataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    setModel(source);
    m_wholeTable->setSource(source);
    if (!source)
        return;
    connect(source, &QAbstractItemModel::modelReset, this,
            [this]() { rowsArrived(0, m_source->rowCount() - 1, true); });
    connect(source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { rowsArrived(first, last, false); });
    rowsArrived(0, source->rowCount() - 1, true);
}

void DataGrid::rowsArrived(int first, int last, bool reset)
{
    if (reset)
        m_sizedByHand.clear();
    QHeaderView *titles = horizontalHeader();
    m_fitting = true;
    for (int c = 0; c < m_source->columnCount(); ++c) {
        if (m_sizedByHand.contains(c))
            continue;
        // At least the title; never narrower than before for more rows.
        int width = reset ? qMax(kMinFittedWidth, titles->sectionSizeHint(c)) : columnWidth(c);
        for (int r = first; r <= last && width < kMaxFittedWidth; ++r)
            width = qMax(width, sizeHintForIndex(m_source->index(r, c)).width() + kCellAir);
        setColumnWidth(c, qMin(width, kMaxFittedWidth));
    }
    m_fitting = false;
    // The indicator shows the current row from the first paint on, without
    // highlighting a cell the user has not chosen.
    if (!currentIndex().isValid() && m_source->rowCount() > 0)
        selectionModel()->setCurrentIndex(m_source->index(0, 0), QItemSelectionModel::NoUpdate);
}

bool DataGrid::postPending()
{
    if (!m_source)
        return true;
    return Program::instance().guard([this]() { commitEditor(); });
}

void DataGrid::commitEditor()
{
    // Finish an open cell editor so its text reaches the row buffer.
    if (state() == QAbstractItemView::EditingState) {
        QWidget *editor = QApplication::focusWidget();
        if (editor && editor != this && isAncestorOf(editor)) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
    m_source->post();
}

// A jump reads the rows anew; the cursor keeps its column.
void DataGrid::moveToFirst()
{
    if (!m_source)
        return;
    const int column = qMax(0, currentIndex().column());
    commitEditor();
    if (m_source->canFetchBefore())
        m_source->jumpToFirst();
    if (m_source->rowCount() > 0)
        setCurrentIndex(m_source->index(0, column));
}

void DataGrid::moveToLast()
{
    if (!m_source)
        return;
    const int column = qMax(0, currentIndex().column());
    commitEditor();
    if (m_source->canJump()) {
        if (m_source->canFetchMore(QModelIndex()))
            m_source->jumpToLast();
    } else {
        while (m_source->canFetchMore(QModelIndex()))
            m_source->fetchMore(QModelIndex());
    }
    if (m_source->rowCount() > 0)
        setCurrentIndex(m_source->index(m_source->rowCount() - 1, column));
}

int DataGrid::readRowsBefore()
{
    if (!m_source || !m_source->canFetchBefore())
        return 0;
    const int top = verticalScrollBar()->value();
    const int added = m_source->fetchBefore();
    if (added > 0) {
        // The scroll range follows the new rows now, not at the next
        // layout, so that the rows in view stay where they were; one row
        // of the new window shows above them.
        updateGeometries();
        verticalScrollBar()->setValue(top + added - 1);
    }
    return added;
}

void DataGrid::showAtTop(int row)
{
    if (!m_source || row < 0 || row >= m_source->rowCount())
        return;
    const int column = qMax(0, currentIndex().column());
    // The range follows the new rows now, not at the next layout.
    updateGeometries();
    selectionModel()->setCurrentIndex(m_source->index(row, column), QItemSelectionModel::NoUpdate);
    m_source->setCurrentRow(row);
    verticalScrollBar()->setValue(row);
}

void DataGrid::explainReadOnly()
{
    const QString reason = m_source->readOnlyReason();
    const QModelIndex at = currentIndex();
    if (reason.isEmpty() || !at.isValid())
        return;
    if (QToolTip::isVisible() && QToolTip::text() == reason)
        return;
    const QRect cell = visualRect(at);
    QToolTip::showText(viewport()->mapToGlobal(cell.bottomLeft()), reason, viewport(), cell);
}

bool DataGrid::mayMoveTo(int row)
{
    if (!m_source || m_source->state() == DataSource::State::Browse || row == m_source->editRow())
        return true;
    // A new row left untouched is dropped when the cursor moves on.
    if (m_source->state() == DataSource::State::Insert && !m_source->modified())
        return true;
    return Program::instance().guard([this]() { m_source->post(); });
}

// The row is posted before the cursor moves, so that a refusal keeps the
// cursor, the highlight and the edit marker together on the row that
// failed, with the typed values in it.
QModelIndex DataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (next.isValid() && !mayMoveTo(next.row()))
        return currentIndex();
    return next;
}

void DataGrid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid() && !mayMoveTo(at.row())) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

// A click on the row indicator moves to that row: the same check first.
bool DataGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == verticalHeader()->viewport() && event->type() == QEvent::MouseButtonPress) {
        const int row = verticalHeader()->logicalIndexAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (row >= 0 && !mayMoveTo(row))
            return true;
    }
    return QTableView::eventFilter(watched, event);
}

void DataGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (!m_source || m_reverting)
        return;
    if (previous.isValid() && current.row() != previous.row()
        && m_source->state() != DataSource::State::Browse
        && m_source->editRow() == previous.row()) {
        const int editRow = previous.row();
        const bool wasUntouchedInsert = m_source->state() == DataSource::State::Insert
            && !m_source->modified();
        if (wasUntouchedInsert) {
            m_source->cancel();
        } else if (!Program::instance().guard([this]() { m_source->post(); })) {
            // The refused row stays pending and the cursor goes back to it.
            m_reverting = true;
            setCurrentIndex(m_source->index(editRow, qMax(0, previous.column())));
            m_reverting = false;
            m_source->setCurrentRow(editRow);
            return;
        }
    }
    m_source->setCurrentRow(currentIndex().row());
}

// Escape in an open cell editor undoes the whole row, as Escape in the
// grid does: the typed text already reached the row buffer.
void DataGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    if (hint == QAbstractItemDelegate::RevertModelCache && m_source
        && m_source->state() != DataSource::State::Browse)
        m_source->cancel();
}

void DataGrid::focusMoved(QWidget *now)
{
    if (!m_source || m_source->state() != DataSource::State::Insert || m_source->modified())
        return;
    if (now && (now == this || isAncestorOf(now)))
        return;
    m_source->cancel();
}

void DataGrid::confirmAndDeleteCurrent()
{
    if (!m_source || !m_source->canModify())
        return;
    const int row = currentIndex().row();
    if (row < 0)
        return;
    if (!confirmDelete(this))
        return;
    m_source->deleteRow(row);
    m_source->setCurrentRow(currentIndex().row());
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    if (!m_source) {
        QTableView::keyPressEvent(event);
        return;
    }
    const int row = currentIndex().row();
    const int column = qMax(0, currentIndex().column());
    if (isSetNullKey(event)) {
        if (m_source->canModify())
            Program::instance().guard([this]() { m_source->setNull(currentIndex()); });
        else
            explainReadOnly();
        return;
    }
    // A key that would start an edit.
    const bool editKey = (!event->text().isEmpty() && event->text().front().isPrint()
                          && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        || event->key() == Qt::Key_F2 || event->key() == Qt::Key_Insert
        || (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier));
    if (editKey && !m_source->canModify() && m_source->rowCount() > 0)
        explainReadOnly();
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_source->state() != DataSource::State::Browse) {
            m_source->cancel();
            if (m_source->rowCount() > 0)
                setCurrentIndex(m_source->index(qMin(qMax(row, 0), m_source->rowCount() - 1), column));
            return;
        }
        break;
    case Qt::Key_Insert:
        if (m_source->canModify()) {
            Program::instance().guard([&]() {
                m_source->insertAt(qMax(row, 0));
                setCurrentIndex(m_source->index(m_source->editRow(), column));
            });
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        if (row == 0)
            readRowsBefore();
        break;
    case Qt::Key_Home:
    case Qt::Key_End:
        // On a table read by key, Ctrl+Home and Ctrl+End go to its ends;
        // elsewhere they move among the rows read, and reaching the end
        // reads the next window.
        if ((event->modifiers() & Qt::ControlModifier) && m_source->canJump()) {
            Program::instance().guard([&]() {
                if (event->key() == Qt::Key_Home)
                    moveToFirst();
                else
                    moveToLast();
            });
            return;
        }
        break;
    case Qt::Key_Down:
        // Down on the last row read reads the next window.
        if (row == m_source->rowCount() - 1 && m_source->canFetchMore(QModelIndex()))
            m_source->fetchMore(QModelIndex());
        if (m_source->canModify() && row == m_source->rowCount() - 1
            && !m_source->canFetchMore(QModelIndex())
            && !(m_source->state() == DataSource::State::Insert && !m_source->modified())) {
            Program::instance().guard([&]() {
                m_source->insertAt(m_source->rowCount());
                setCurrentIndex(m_source->index(m_source->editRow(), column));
            });
            return;
        }
        break;
    case Qt::Key_Delete:
        if (event->modifiers() & Qt::ControlModifier) {
            Program::instance().guard([this]() { confirmAndDeleteCurrent(); });
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

} // namespace rux
