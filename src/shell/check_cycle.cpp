// One check of the mailbox and the notifications that report its outcome.

#include <QLineEdit>

#include "base/exception.h"
#include "net/pop3.h"
#include "shell/check_session.h"
#include "shell/launcher.h"
#include "shell/main_window.h"
#include "shell/shown_message.h"
#include "shell/timer.h"

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

// A failure only the user can mend: a refused password, a refused certificate, an encryption
// that cannot be used. "Not now" is no reason to doubt the password.
bool NeedsUser(const Exception& e) {
    if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e))
        return !protocol->TemporaryRefusal;
    return dynamic_cast<const ETlsError*>(&e) || dynamic_cast<const EEncryptionError*>(&e);
}

}  // namespace

void TfrmMain::CheckMail(bool Quiet) {
    TCheckSession session(*Pop3, *Registry, Settings);
    lastCheckFailed_ = true;  // until it reaches its outcome
    try {
        PrepareSession();
        session.Login();
    } catch (const ESocketError& e) {
        AppException(e);
        return;
    } catch (const ETcpIpError& e) {
        LoginRefused(e);
        return;
    }
    MailCount = session.Listed();
    session.Run(MailCount);
    lastCheckFailed_ = false;
    if (MailCount != 0)
        NotifyMail();
    else
        ShowNoMail(Quiet);
}

void TfrmMain::PrepareSession() {
    Pop3->Use(Settings.Connection);
    Pop3->UserName = Settings.User;
    Pop3->Password = edPassword->text().toLocal8Bit().toStdString();
    // A session that failed before its logout leaves its listing behind; it says nothing
    // about the mailbox now and must not be counted again.
    Pop3->Messages.clear();
}

void TfrmMain::LoginRefused(const ETcpIpError& e) {
    // Only a refusal (by the server, of its certificate, of the encryption) concerns the user;
    // the rest goes on to the caller.
    if (!dynamic_cast<const EProtocolError*>(&e) && !NeedsUser(e)) throw;
    AppException(e);
    if (!NeedsUser(e)) return;  // the next tick tries again
    // The password, the server, its certificate or the encryption needs the user: back to the
    // window, no more ticks.
    SetTaskbarEntryVisible(true);
    BringWindowBack();
    Timer->SetEnabled(false);
}

void TfrmMain::ShowNoMail(bool Quiet) {
    UpdateTip("No mail.");
    if (Quiet || Notifying) return;
    NotifyingScope scope(Notifying);
    if (!ShowNotification("No mail.", false)) ShowInformationBox("No mail.");
}

// Sound, box and reader strictly one after the other: the sound plays to its end before the box
// opens, and the reader starts only once the box is closed. A notification instead of the box
// offers the reader, which then starts only when the user takes that action.
void TfrmMain::NotifyMail() {
    UpdateTip("You have mail!");
    if (Notifying) return;
    NotifyingScope scope(Notifying);
    if (!Settings.WavSound.empty()) PlaySound(Settings.WavSound);
    if (Settings.ShowMessage) {
        const std::string count = "You have " + std::to_string(MailCount) + " messages!";
        if (ShowNotification(count, !Settings.MailProgram.empty())) return;
        ShowInformationBox(count);
    }
    StartMailProgram();
}

void TfrmMain::StartMailProgram() {
    if (Settings.MailProgram.empty()) return;
    Launcher->ProgramName = Settings.MailProgram;
    Launcher->Launch();
}

void TfrmMain::AppException(const Exception& E) {
    if (Notifying) return;
    NotifyingScope scope(Notifying);
    const std::string text = ShownMessage(E);
    UpdateTip(text);
    if (NeedsUser(E)) ShowErrorBox(text);
}

void TfrmMain::CheckAndHide() {
    SetTaskbarEntryVisible(false);
    HideMainWindow();
    Timer->SetInterval(MinutesToMs(Settings.Interval));
    Timer->SetEnabled(true);
    CheckMail(true);
}

void TfrmMain::edPasswordKeyDown(uint16_t& Key) {
    if (Key != keys::VK_RETURN) return;
    CheckAndHide();
    Key = 0;
}

void TfrmMain::TimerTimer() {
    CheckMail(true);
}
