#pragma once

// Driving widgets as a user would, for the kill list editor's tests.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "support/when_modal.h"
#include "takes_clicks.h"

// Opens the drop-down list with the mouse and clicks the entry.
inline void Pick(QComboBox* box, int index) {
    QTest::mouseClick(box, Qt::LeftButton);
    QAbstractItemView* view = box->view();
    QTRY_VERIFY(view->isVisible());
    // The popup ignores a release that follows its opening too closely.
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    const QModelIndex entry = view->model()->index(index, 0);
    view->scrollTo(entry);
    const QRect r = view->visualRect(entry);
    // The popup takes the entry under the mouse: move there first, as a hand would.
    QTest::mouseMove(view->viewport(), r.center());
    QTRY_COMPARE(view->currentIndex(), entry);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    QTRY_VERIFY(!view->isVisible());
}
