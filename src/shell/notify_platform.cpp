// The platform calls behind the notifications: the information box, the error box, the sound.

#include <QApplication>
#include <QMessageBox>

#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
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
    CentreOnScreen(&box, QGuiApplication::primaryScreen());
    box.exec();
}

void TfrmMain::ShowErrorBox(const std::string& text) {
    ShowDefaultErrorBox(text);
}

void TfrmMain::PlaySound(const std::string& fileName) {
    PlayWaveSound(fileName);
}
