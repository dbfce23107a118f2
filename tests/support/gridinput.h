#pragma once

// Test helper: a click on a grid's current cell followed at once, with no
// wait, by typing, as a quick user does it.

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>

namespace rux::test {

inline void clickCurrentCellAndType(QAbstractItemView *view, const QString &text)
{
    const QPoint centre = view->visualRect(view->currentIndex()).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    for (const QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    // Past the double-click interval, when a delayed editor would open.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
}

} // namespace rux::test
