// The platform calls behind the notifications: the information box, the desktop notification,
// the error box, the sound.

#include <QMessageBox>

#include "platform/app_exceptions.h"
#include "platform/desktop_notification.h"
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

bool TfrmMain::ShowNotification(const std::string& text, bool offerMailProgram) {
    if (!Settings.DesktopNotification) return false;
    // The body says which mailbox, for a user who watches more than one.
    const std::string& host = Settings.Connection.Host;
    const std::string mailbox = Settings.User.empty() ? host : Settings.User + "@" + host;
    return Notifier->Show(QString::fromLocal8Bit(text.c_str()),
                          QString::fromLocal8Bit(mailbox.c_str()),
                          offerMailProgram ? "Open mail program" : QString());
}

void TfrmMain::ShowErrorBox(const std::string& text) {
    ShowDefaultErrorBox(text, this);
}

void TfrmMain::PlaySound(const std::string& fileName) {
    PlayWaveSound(fileName);
}
