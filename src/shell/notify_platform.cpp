// The platform calls behind the notifications: the information box, the desktop notification,
// the error box, the sound.

#include <QMessageBox>

#include "app/check_cycle.h"
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

bool TfrmMain::ShowNotification(const std::string& text, bool offerMailProgram, bool aboutMail) {
    if (!Settings.DesktopNotification) return false;
    // The body says which mailboxes, for a user who watches more than one.
    const std::string mailboxes = NotifiedMailboxes(aboutMail);
    return Notifier->Show(QString::fromLocal8Bit(text.c_str()),
                          QString::fromLocal8Bit(mailboxes.c_str()),
                          offerMailProgram ? "Open mail program" : QString());
}

std::string TfrmMain::NotifiedMailboxes(bool withMail) const {
    const std::vector<TMailboxOutcome> outcomes = cycle_->Outcomes();
    const bool several = Settings.Mailboxes.size() > 1;
    std::string names;
    for (size_t i = 0; i < Settings.Mailboxes.size(); ++i) {
        const TMailbox& mailbox = Settings.Mailboxes[i];
        if (several && withMail && i < outcomes.size() && outcomes[i].Count == 0) continue;
        const std::string& host = mailbox.Connection.Host;
        const std::string address = mailbox.User.empty() ? host : mailbox.User + "@" + host;
        if (!names.empty()) names += ", ";
        names += several ? mailbox.ShownName() : address;
    }
    return names;
}

void TfrmMain::ShowErrorBox(const std::string& text) {
    ShowDefaultErrorBox(text, this);
}

void TfrmMain::PlaySound(const std::string& fileName) {
    PlayWaveSound(fileName);
}
