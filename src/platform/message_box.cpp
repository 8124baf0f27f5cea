#include "platform/message_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>

#include "platform/dialog_layout.h"

namespace {

// A title bar's icon, three buttons and margins, beside the caption's text.
constexpr int kTitleBarRoom = 140;

QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(widget)) return widget;
    return nullptr;
}

// A message box sizes itself to its text; a spacer as wide as the caption needs widens it.
void WidenForCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle()), 0, QSizePolicy::Fixed,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

int CaptionWidth(const QString& caption) {
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(caption) + kTitleBarRoom;
}

int ExecMessageBox(QMessageBox& box, QWidget* owner) {
    if (!owner) owner = MainWindow();
    // A parent makes the box its window's transient, which window managers keep above it.
    if (owner && box.parentWidget() != owner) box.setParent(owner, box.windowFlags());
    // Window-modal: an application-modal box would also block the tray icon's window and the
    // help window. The modality rewrites the window flags, so the hint comes after it.
    box.setWindowModality(Qt::WindowModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    WidenForCaption(box);
    box.adjustSize();
    CentreOnScreen(&box, QGuiApplication::primaryScreen());
    return box.exec();
}
