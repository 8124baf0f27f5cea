// What the desktop keyring keeps for the login: the password when the user asks for it, and
// the start that follows from it (hidden, checking at once); the OAuth2 sign-in Hide starts.

#include <QLineEdit>

#include "shell/main_window.h"
#include "shell/remembered_credential.h"

void TfrmMain::Start() {
    if (startHidden_)
        CheckAndHide();
    else
        show();
}

bool TfrmMain::LoadRemembered() {
    const TConnection& connection = Settings.Connection;
    if (connection.Authentication == TAuthentication::OAuth2)
        return connection.OAuth.TokenCommand.empty() && Tokens.Holds(Settings);
    if (!Settings.RememberPassword) return false;
    std::string password;
    const TKeyringResult read = keyring_.Read(PasswordKey(Settings), password);
    if (read.Status == TKeyringStatus::Unavailable) NoteKeyringUnavailable();
    if (!read.IsOk()) return false;
    edPassword->setText(QString::fromLocal8Bit(password.c_str()));
    return true;
}

void TfrmMain::KeepPassword() {
    if (!Settings.RememberPassword || Settings.Connection.Authentication == TAuthentication::OAuth2)
        return;
    const std::string password = edPassword->text().toLocal8Bit().toStdString();
    if (password.empty()) return;
    if (keyring_.Write(PasswordKey(Settings), password).Status == TKeyringStatus::Unavailable)
        NoteKeyringUnavailable();
}

void TfrmMain::ForgetPassword(const TSettings& account) {
    if (keyring_.Remove(PasswordKey(account)).Status == TKeyringStatus::Unavailable)
        NoteKeyringUnavailable();
}

std::string TfrmMain::PasswordKey(const TSettings& account) const {
    return AccountKeyringKey(TKeyringItem::Password, account);
}

void TfrmMain::NoteKeyringUnavailable() {
    if (keyringNoted_) return;
    keyringNoted_ = true;
    UpdateTip(kKeyringUnavailableText);
}

// Only Hide opens the browser: a tick or the tray without a token asks the user to sign in.
bool TfrmMain::NeedsSignIn() {
    const TConnection& connection = Settings.Connection;
    return connection.Authentication == TAuthentication::OAuth2 &&
           connection.OAuth.TokenCommand.empty() && !Tokens.Holds(Settings);
}
