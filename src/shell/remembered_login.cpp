// What the desktop keyring keeps for the login: the password when the user asks for it, and
// the start that follows from it (hidden, checking at once); the OAuth2 sign-in Hide starts.

#include <QLineEdit>

#include "shell/main_window.h"

void TfrmMain::Start() {
    if (startHidden_)
        CheckAndHide();
    else
        show();
}

void TfrmMain::ConnectCredentials() {
    connect(&Credentials, &TCredentialSource::KeyringUnavailable, this,
            [this] { NoteKeyringUnavailable(); });
    // The box holds a password: with OAuth2 nothing is typed.
    Credentials.Typed = [this](const TMailbox& account) -> std::optional<std::string> {
        if (account.Connection.Authentication == TAuthentication::OAuth2) return std::nullopt;
        return TypedFor(account);
    };
    // Any change but the program's own filling in makes the box's text the user's.
    connect(edPassword, &QLineEdit::textChanged, this, [this] { rememberedInBox_.clear(); });
}

std::optional<std::string> TfrmMain::TypedPassword(const TMailbox& account) const {
    if (!rememberedInBox_.empty() &&
        rememberedInBox_ == AccountKeyringKey(TKeyringItem::Password, account))
        return std::nullopt;
    // Another account's remembered password is not sent to this one.
    if (!rememberedInBox_.empty()) return std::string();
    return edPassword->text().toLocal8Bit().toStdString();
}

bool TfrmMain::LoadRemembered() {
    const TConnection& connection = Settings.Connection;
    if (connection.Authentication == TAuthentication::OAuth2)
        return Settings.OAuth.TokenCommand.empty() && Tokens.Holds(Settings);
    if (!Settings.RememberPassword) return false;
    const std::optional<TPasswordRecord> record = Credentials.RememberedPassword(Settings);
    if (!record) return false;
    edPassword->setText(QString::fromLocal8Bit(record->Password.c_str()));
    rememberedInBox_ = AccountKeyringKey(TKeyringItem::Password, Settings);
    return true;
}

void TfrmMain::KeepPassword() {
    KeepFurtherPasswords();
    if (!Settings.RememberPassword || Settings.Connection.Authentication == TAuthentication::OAuth2)
        return;
    const std::optional<std::string> typed = TypedPassword(Settings);
    if (!typed) {
        // The box holds the remembered password: kept again only to mark it encrypted.
        const auto record = Credentials.RememberedPassword(Settings);
        if (record && !record->Encrypted) Credentials.KeepPassword(Settings, record->Password);
        return;
    }
    if (typed->empty()) return;
    if (Credentials.KeepPassword(Settings, *typed).IsOk())
        rememberedInBox_ = AccountKeyringKey(TKeyringItem::Password, Settings);
}

// A further mailbox that remembers its password and has a row: what was typed there is kept.
void TfrmMain::KeepFurtherPasswords() {
    const std::vector<TMailbox*> all = Settings.All();
    for (size_t i = 1; i < all.size(); ++i) {
        const QLineEdit* row = PasswordRow(static_cast<int>(i));
        if (!all[i]->RememberPassword || row == nullptr || row->text().isEmpty()) continue;
        Credentials.KeepPassword(*all[i], row->text().toLocal8Bit().toStdString());
    }
}

void TfrmMain::ForgetPassword(const TSettings& account) {
    rememberedInBox_.clear();  // what the box holds is the user's to send, no longer the keyring's
    Credentials.ForgetPassword(account);
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
           Settings.OAuth.TokenCommand.empty() && !Tokens.Holds(Settings);
}
