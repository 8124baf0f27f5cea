// One check of the mailbox and the notifications that report its outcome.

#include <QLineEdit>

#include "app/check_session.h"
#include "app/launcher.h"
#include "app/shown_message.h"
#include "app/timer.h"
#include "base/exception.h"
#include "net/pop3.h"
#include "platform/app_exceptions.h"
#include "platform/oauth_config.h"
#include "platform/token_command.h"
#include "shell/main_window.h"

namespace {

// Holds a flag (Notifying for one notification, or a session being prepared); lets it go
// however that ends, so a failed box, sound or start can never silence every later one.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

// A failure only the user can mend: a refused password, a refused certificate, an encryption
// that cannot be used, an OAuth2 sign-in that must be done again. "Not now" is no reason to
// doubt the password.
bool NeedsUser(const Exception& e) {
    if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e))
        return !protocol->TemporaryRefusal;
    return dynamic_cast<const ETlsError*>(&e) || dynamic_cast<const EEncryptionError*>(&e) ||
           dynamic_cast<const ESignInAgain*>(&e) || dynamic_cast<const ENoCredential*>(&e);
}

}  // namespace

void TfrmMain::CheckMail(bool Quiet) {
    // Getting a token or a password waits in a local event loop: a tick or a click then must
    // not start a second check over the first.
    if (preparing_) return;
    TCheckSession session(*Pop3, *Registry, Settings);
    lastCheckFailed_ = true;  // until it reaches its outcome
    try {
        const FlagScope preparing(preparing_);
        PrepareSession();
        SignIn(Credentials, *Pop3, Settings, [&] { session.Login(); });
    } catch (const ESocketError& e) {
        AppException(e);
        return;
    } catch (const EPasswordNeedsEncryption& e) {
        edPassword->clear();  // to be typed, as the box says
        LoginRefused(e);
        return;
        AppException(e);
        return;
    } catch (const ETcpIpError& e) {
        LoginRefused(e);
        return;
    } catch (const ESignInAgain& e) {
        LoginRefused(e);
        return;
    } catch (const ENoCredential& e) {
        LoginRefused(e);
        return;
    } catch (const ETokenCommandError& e) {
        AppException(e);  // as a failed connection: the next tick tries again
        return;
    } catch (const EOAuthError& e) {
        AppException(e);
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
    // A session that failed before its logout leaves its listing behind; it says nothing
    // about the mailbox now and must not be counted again.
    Pop3->Messages.clear();
}

void TfrmMain::LoginRefused(const Exception& e) {
    // Only a refusal (by the server, of its certificate, of the encryption, of the OAuth2
    // tokens) concerns the user; the rest goes on to the caller.
    if (!dynamic_cast<const EProtocolError*>(&e) && !NeedsUser(e)) throw;
    AppException(e);
    if (!NeedsUser(e)) return;  // the next tick tries again
    // The password, the server, its certificate or the encryption needs the user: back to the
    // window, no more ticks.
    if (const auto* again = dynamic_cast<const ESignInAgain*>(&e)) {
        signInAgainReason_ = SignInAgainReasonText(again->Reason);
        UpdatePasswordBox();
    }
    SetTaskbarEntryVisible(true);
    BringWindowBack();
    Timer->SetEnabled(false);
}

void TfrmMain::ShowNoMail(bool Quiet) {
    UpdateTip("No mail.");
    if (Quiet || Notifying) return;
    FlagScope scope(Notifying);
    if (!ShowNotification("No mail.", false)) ShowInformationBox("No mail.");
}

// Sound, box and reader strictly one after the other: the sound plays to its end before the box
// opens, and the reader starts only once the box is closed. A notification instead of the box
// offers the reader, which then starts only when the user takes that action.
void TfrmMain::NotifyMail() {
    UpdateTip("You have mail!");
    if (Notifying) return;
    FlagScope scope(Notifying);
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
    FlagScope scope(Notifying);
    const std::string text = ShownMessage(E);
    UpdateTip(text);
    if (NeedsUser(E)) ShowErrorBox(ShownDetail(E));
}

void TfrmMain::CheckAndHide() {
    if (signIn_) return;  // the sign-in under way goes on to the check
    if (NeedsSignIn()) {
        signIn_ = StartSignIn(Tokens, Settings, this, [this](const QString& failure) {
            Guarded(this, [&] { SignInEnded(failure); });
        });
        return;
    }
    KeepPassword();
    HideAndCheck();
}

void TfrmMain::SignInEnded(const QString& failure) {
    signIn_ = nullptr;
    if (failure.isEmpty())
        HideAndCheck();
    else
        ShowErrorBox(failure.toStdString());
}

void TfrmMain::HideAndCheck() {
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
