#include "ui/tablescroll.h"

#include "ui/datagrid.h"
#include "ui/datasource.h"

#include <QEvent>
#include <QScrollBar>
#include <QTimer>

#include <climits>

namespace rux {

WholeTableScroll::WholeTableScroll(DataGrid *grid) : QObject(grid), m_grid(grid)
{
    QScrollBar *own = grid->verticalScrollBar();
    m_bar = new QScrollBar(Qt::Vertical, own->parentWidget());
    m_bar->setObjectName(QStringLiteral("wholeTableScroll"));
    m_bar->hide();
    own->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
    connect(own, &QScrollBar::valueChanged, this, &WholeTableScroll::follow);
    connect(own, &QScrollBar::rangeChanged, this, &WholeTableScroll::follow);
    connect(m_bar, &QScrollBar::valueChanged, this, &WholeTableScroll::moved);
}

void WholeTableScroll::setSource(DataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    m_counted = false;
    if (source) {
        connect(source, &QAbstractItemModel::modelReset, this, [this]() {
            m_counted = false;
            follow();
        });
        connect(source, &QAbstractItemModel::rowsInserted, this, &WholeTableScroll::follow);
        connect(source, &QAbstractItemModel::rowsRemoved, this, &WholeTableScroll::follow);
    }
    follow();
}

// Whether the set can be read from any place at all; a statement that runs
// meanwhile (the windows kept alive) only holds a read back.
bool WholeTableScroll::readsAnywhere() const
{
    return m_source && m_source->dataSet() && m_source->dataSet()->isActive() && m_source->dataSet()->canReadAt();
}

bool WholeTableScroll::active() const
{
    return readsAnywhere() && m_source->rowsInAll() >= 0;
}

void WholeTableScroll::place()
{
    QScrollBar *own = m_grid->verticalScrollBar();
    if (m_bar->parentWidget() != own->parentWidget())
        m_bar->setParent(own->parentWidget());
    m_bar->setGeometry(own->geometry());
    m_bar->raise();
}

bool WholeTableScroll::eventFilter(QObject *watched, QEvent *event)
{
    // The count waits for the first paint of the rows read.
    if (watched == m_grid->viewport() && event->type() == QEvent::Paint && m_countAfterPaint) {
        m_countAfterPaint = false;
        QTimer::singleShot(0, this, &WholeTableScroll::count);
    }
    if (watched == m_grid->verticalScrollBar()
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show
            || event->type() == QEvent::ParentChange))
        place();
    return QObject::eventFilter(watched, event);
}

void WholeTableScroll::follow()
{
    if (m_following)
        return;
    // The first count waits until the first rows have been painted:
    // opening the table stays as quick as reading its first window.
    if (!m_counted && readsAnywhere() && m_source->rowsInAll() < 0)
        m_countAfterPaint = true;
    const Qt::ScrollBarPolicy policy = active() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
    if (m_grid->verticalScrollBarPolicy() != policy)
        m_grid->setVerticalScrollBarPolicy(policy);
    if (!active()) {
        m_bar->hide();
        return;
    }
    QScrollBar *own = m_grid->verticalScrollBar();
    const int visible = qMax(1, own->pageStep());
    const qint64 total = qMin<qint64>(m_source->rowsInAll(), INT_MAX);
    const qint64 top = m_source->firstRowAt() + own->value();
    m_following = true;
    m_bar->setRange(0, int(qMax<qint64>(0, total - visible)));
    m_bar->setPageStep(visible);
    m_bar->setSingleStep(1);
    // The thumb stays where the user holds it or left it until the grid
    // has got there.
    if (!m_bar->isSliderDown() && m_target < 0)
        m_bar->setValue(int(qMin<qint64>(top, INT_MAX)));
    m_following = false;
    place();
    m_bar->show();
}

void WholeTableScroll::count()
{
    if (m_counted || !readsAnywhere() || m_source->rowsInAll() >= 0)
        return;
    // Not while a statement runs: after the next paint.
    if (!m_source->canReadAt()) {
        m_countAfterPaint = true;
        return;
    }
    // Counted once per opening, even when the count fails: a failure is
    // shown, and not again at every scroll.
    m_counted = true;
    m_source->countRows();
    follow();
}

void WholeTableScroll::moved(int value)
{
    if (m_following)
        return;
    const bool scheduled = m_target >= 0;
    m_target = value;
    // Moves come faster than windows are read: only the latest is shown.
    if (!scheduled)
        QTimer::singleShot(0, this, &WholeTableScroll::goToTarget);
}

void WholeTableScroll::goToTarget()
{
    const qint64 target = m_target;
    m_target = -1;
    if (target < 0 || !active())
        return;
    QScrollBar *own = m_grid->verticalScrollBar();
    const int visible = qMax(1, own->pageStep());
    const qint64 local = target - m_source->firstRowAt();
    const int held = m_source->rowCount();
    const bool endHeld = !m_source->canFetchMore(QModelIndex());
    if (local >= 0 && (local + visible <= held || (endHeld && local <= held))) {
        own->setValue(int(local));
        follow();
        return;
    }
    if (m_source->readAt(target)) {
        const qint64 last = qMax(0, m_source->rowCount() - 1);
        m_grid->showAtTop(int(qBound<qint64>(0, target - m_source->firstRowAt(), last)));
    }
    follow();
}

} // namespace rux
