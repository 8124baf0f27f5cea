// One check of the mailbox and the notifications that report its outcome.

#include <QLineEdit>

#include "base/exception.h"
#include "filter/kill_pass.h"
#include "net/pop3.h"
#include "shell/check_timer.h"
#include "shell/launcher.h"
#include "shell/main_window.h"

namespace {

// Holds Notifying for one notification; lets it go however the notification ends, so a failed
// box, sound or start can never silence every later one.
class NotifyingScope {
  public:
    explicit NotifyingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~NotifyingScope() { flag_ = false; }
    NotifyingScope(const NotifyingScope&) = delete;
    NotifyingScope& operator=(const NotifyingScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

void TfrmMain::CheckMail(bool Quiet) {
    try {
        Pop3->Hostname = Settings.SmtpHost;
        Pop3->UserName = Settings.User;
        Pop3->Password = edPassword->text().toLocal8Bit().toStdString();
        Pop3->Port = static_cast<uint16_t>(Settings.Port);
        Pop3->Encryption = static_cast<TEncryption>(Settings.Encryption);
        Pop3->TrustedCertificate = Settings.TrustedCertificate;
        // A session that failed before its logout leaves its listing behind; it says nothing
        // about the mailbox now and must not be counted again.
        Pop3->Messages.clear();
        Pop3->Login();
        Pop3->ReadHeaders();
        Pop3->Logout();
    } catch (const ESocketError& e) {
        AppException(this, e);
        return;
    } catch (const ETcpIpError& e) {
        // Only a refusal (by the server, or of its certificate) needs the user; the rest goes
        // on to the caller.
        if (!dynamic_cast<const EProtocolError*>(&e) && !dynamic_cast<const ETlsError*>(&e)) throw;
        AppException(this, e);
        // The password, the server or its certificate needs the user: back to the window, no
        // more ticks.
        SetTaskbarEntryVisible(true);
        BringWindowBack();
        Timer->SetEnabled(false);
        return;
    }
    MailCount = static_cast<int32_t>(Pop3->MailText.size());
    if (MailCount != 0) KillPass(*Pop3, Settings.LogFile, *Registry, MailCount);
    if (MailCount != 0)
        NotifyMail();
    else
        ShowNoMail(Quiet);
}

void TfrmMain::ShowNoMail(bool Quiet) {
    UpdateTip("No mail.");
    if (Quiet || Notifying) return;
    NotifyingScope scope(Notifying);
    ShowInformationBox("No mail.");
}

// Sound, box and reader strictly one after the other: the sound plays to its end before the box
// opens, and the reader starts only once the box is closed.
void TfrmMain::NotifyMail() {
    UpdateTip("You have mail!");
    if (Notifying) return;
    NotifyingScope scope(Notifying);
    if (!Settings.WavSound.empty()) PlaySound(Settings.WavSound);
    if (Settings.ShowMessage)
        ShowInformationBox("You have " + std::to_string(MailCount) + " messages!");
    if (!Settings.MailProgram.empty()) {
        Launcher->ProgramName = Settings.MailProgram;
        Launcher->Launch();
    }
}

void TfrmMain::AppException(QObject*, const Exception& E) {
    if (Notifying) return;
    NotifyingScope scope(Notifying);
    UpdateTip(E.Message());
    if (dynamic_cast<const EProtocolError*>(&E) || dynamic_cast<const ETlsError*>(&E))
        ShowErrorBox(E.Message());
}

void TfrmMain::CheckAndHide(QObject*) {
    SetTaskbarEntryVisible(false);
    HideMainWindow();
    Timer->SetInterval(MinutesToMs(Settings.Interval));
    Timer->SetEnabled(true);
    CheckMail(true);
}

void TfrmMain::edPasswordKeyDown(QObject*, uint16_t& Key, Qt::KeyboardModifiers) {
    if (Key != VK_RETURN) return;
    CheckAndHide(edPassword);
    Key = 0;
}

void TfrmMain::TimerTimer(QObject*) {
    CheckMail(true);
}
