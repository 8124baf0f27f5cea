#pragma once

// Driving widgets as a user would, for the mail options dialog's tests.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "app/settings.h"
#include "shell/mailopt.h"
#include "support/when_modal.h"
#include "takes_clicks.h"

// Clicks into the box, selects what it holds and types the new text over it.
inline void TypeOver(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Delete);
    } else {
        QTest::keyClicks(edit, text);
    }
}

// The options dialog holding the settings, shown and active.
inline std::unique_ptr<TdlgMailOptions> OpenMailOptions(const TSettings& settings) {
    auto d = std::make_unique<TdlgMailOptions>(nullptr);
    d->LoadFrom(settings);
    d->show();
    if (!QTest::qWaitForWindowActive(d.get())) qWarning("dialog not active");
    return d;
}

inline void ClickTab(QTabWidget* tabs, int index) {
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}
