#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <type_traits>

// Runs action once a modal window of type T is active (its exec() is running), polled from a
// timer. A dialog that the action left open (a failed check returns early) is rejected.
template <class T = QWidget>
void WhenModal(std::type_identity_t<std::function<void(T*)>> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal == nullptr || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        QPointer<QDialog> dialog(qobject_cast<QDialog*>(modal));
        action(modal);
        if (dialog && dialog->isVisible()) dialog->reject();
    });
    timer->start();
}
