#include "datagrid.h"

#include "datasource.h"
#include "immediatedelegate.h"
#include "failure.h"
#include "program.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace rux {

namespace {

bool askDelete(QWidget *parent)
{
    if (Program::instance().headless())
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigen"),
                    QStringLiteral("Datensatz löschen?"), QMessageBox::NoButton, parent);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok;
}

} // namespace

std::function<bool(QWidget *)> DataGrid::confirmDelete = askDelete;

DataGrid::DataGrid(QWidget *parent) : QTableView(parent)
{
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setItemDelegate(new ImmediateDelegate(this));
    setTabKeyNavigation(true);
    setShowGrid(true);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *now) { focusMoved(now); });
}

void DataGrid::setDataSource(DataSource *source)
{
    m_source = source;
    setModel(source);
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
    case Qt::Key_Down:
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
