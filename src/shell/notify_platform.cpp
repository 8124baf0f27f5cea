// The platform calls behind the notifications: the information box, the error box, the sound.

#include <QMessageBox>

#include "platform/app_exceptions.h"
#include "platform/message_box.h"
#include "platform/wave_sound.h"
#include "shell/main_window.h"

void TfrmMain::ShowInformationBox(const std::string& text) {
    QMessageBox box(QMessageBox::Information, "Information", QString::fromLocal8Bit(text.c_str()),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    // The main window is usually hidden: the box shows on top, mid-screen, as its own window.
    ExecMessageBox(box, this);
}

void TfrmMain::ShowErrorBox(const std::string& text) {
    ShowDefaultErrorBox(text, this);
}

void TfrmMain::PlaySound(const std::string& fileName) {
    PlayWaveSound(fileName);
}
