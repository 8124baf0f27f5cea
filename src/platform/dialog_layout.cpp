#include "platform/dialog_layout.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <algorithm>

void CentreOnScreen(QWidget* window, const QScreen* screen) {
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

bool CentreOnFirstShow(QWidget* window, bool& shown) {
    if (shown) return false;
    shown = true;
    CentreOnScreen(window, window->screen());
    return true;
}

void SetSizeAtLeast(QWidget* widget, int width, int height) {
    const QSize hint = widget->sizeHint();
    widget->setFixedSize(std::max(width, hint.width()), std::max(height, hint.height()));
}

void SetWidthAtLeast(QWidget* widget, int width) {
    widget->setFixedWidth(std::max(width, widget->sizeHint().width()));
}

QLabel* MakeBuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

QWidget* MakeDialogButtonBar(QDialog* dialog, int sideMargin, QPushButton*& help, QPushButton*& ok,
                             QPushButton*& cancel) {
    auto* bar = new QWidget(dialog);
    help = new QPushButton("Help", bar);
    ok = new QPushButton("OK", bar);
    cancel = new QPushButton("Cancel", bar);
    ok->setDefault(true);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(sideMargin, 2, sideMargin, 3);
    row->setSpacing(4);
    row->addStretch(1);
    for (QPushButton* button : {help, ok, cancel}) {
        SetSizeAtLeast(button, 70, 24);
        row->addWidget(button);
    }
    bar->setMinimumHeight(29);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* closer = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), dialog);
    QObject::connect(closer, &QShortcut::activated, dialog, &QDialog::close);
    return bar;
}
