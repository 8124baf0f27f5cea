#pragma once

#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <QWidget>

// Whether a click on window's first button gets through to it as the window system delivers
// it, that is unless a modal window blocks window.
inline bool TakesClicks(QWidget* window) {
    if (!window || !QTest::qWaitForWindowExposed(window)) return false;
    auto* button = window->findChild<QPushButton*>();
    struct Counter : QObject {
        int presses = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            presses += event->type() == QEvent::MouseButtonPress;
            return false;
        }
    } counter;
    button->installEventFilter(&counter);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(window, button->rect().center()));
    button->removeEventFilter(&counter);
    return counter.presses > 0;
}
