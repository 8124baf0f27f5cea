// The platform calls behind the notifications: the information box, the error box, the sound.

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "platform/app_exceptions.h"
#include "platform/wave_sound.h"
#include "shell/main_window.h"

void TfrmMain::ShowInformationBox(const std::string& text) {
    QMessageBox box(QMessageBox::Information, "Information", QString::fromLocal8Bit(text.c_str()),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    // The main window is usually hidden: the box stands on its own, on top, mid-screen.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::ApplicationModal);
    box.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
    box.exec();
}

void TfrmMain::ShowErrorBox(const std::string& text) {
    ShowDefaultErrorBox(text);
}

void TfrmMain::PlaySound(const std::string& fileName) {
    PlayWaveSound(fileName);
}
