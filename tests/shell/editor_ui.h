#pragma once

// Driving widgets as a user would, for the kill list editor's tests.

#include <QAbstractItemView>
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
    const QModelIndex entry = view->model()->index(index, 0);
    view->scrollTo(entry);
    const QRect r = view->visualRect(entry);
    // The popup takes the entry under the mouse: move there first, as a hand would.
    QTest::mouseMove(view->viewport(), r.center());
    QTRY_COMPARE(view->currentIndex(), entry);
    // The popup ignores a release that follows its opening too closely, for a time that a
    // loaded machine stretches: click until it takes one.
    const auto taken = [&] {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        return !view->isVisible();
    };
    QTRY_VERIFY(taken());
}
