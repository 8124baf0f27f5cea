#pragma once

// Driving widgets as a user would, for the kill list editor's tests.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "takes_clicks.h"

// Runs action once a modal dialog is active (exec() is running), polled from a timer. A dialog
// that the action left open (a failed check returns early) is rejected.
inline void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        QPointer<QDialog> dialog(qobject_cast<QDialog*>(modal));
        action(modal);
        if (dialog && dialog->isVisible()) dialog->reject();
    });
    timer->start();
}

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
