// What the desktop keyring keeps for the login: the password when the user asks for it, and
// the start that follows from it (hidden, checking at once); the OAuth2 sign-ins Hide starts.

#include <QLineEdit>
#include <algorithm>

#include "shell/main_window.h"

namespace {

bool UsesOAuth(const TMailbox& mailbox) {
    return mailbox.Connection.Authentication == TAuthentication::OAuth2;
}

}  // namespace

void TfrmMain::Start() {
    if (startHidden_)
        CheckAndHide();
    else
        show();
}

void TfrmMain::ConnectCredentials() {
    connect(&Credentials, &TCredentialSource::KeyringUnavailable, this,
            [this] { NoteKeyringUnavailable(); });
    // Any change but the program's own filling in makes the box's text the user's.
    connect(edPassword, &QLineEdit::textChanged, this, [this] {
        rememberedInBox_.clear();
        SyncTyped();
    });
}

void TfrmMain::SyncTyped() {
    TTypedPasswords& typed = Credentials.Typed;
    for (const TMailbox& mailbox : Settings.Mailboxes) {
        const QLineEdit* row = RowOf(mailbox.Id());
        // With OAuth2 the box holds no password, and a mailbox without a row types nothing.
        if (row == nullptr || UsesOAuth(mailbox) || !mailbox.Unreadable.empty())
            typed.Forget(mailbox.Id());
        else if (row == edPassword && !rememberedInBox_.empty())
            typed.ShowRemembered(mailbox.Id(), rememberedInBox_);
        else
            typed.Type(mailbox.Id(), row->text().toLocal8Bit().toStdString());
    }
}

bool TfrmMain::SignsInAlone(const TMailbox& mailbox) {
    if (!mailbox.Unreadable.empty()) return true;
    if (UsesOAuth(mailbox)) return mailbox.OAuth.TokenCommand.empty() && Tokens.Holds(mailbox);
    if (!mailbox.RememberPassword) return false;
    const std::optional<TPasswordRecord> record = Credentials.RememberedPassword(mailbox);
    if (!record) return false;
    if (RowOf(mailbox.Id()) == edPassword) {
        edPassword->setText(QString::fromLocal8Bit(record->Password.c_str()));
        rememberedInBox_ = AccountKeyringKey(TKeyringItem::Password, mailbox);
    }
    return true;
}

bool TfrmMain::LoadRemembered() {
    // Every mailbox is asked, so that the first line's box is filled in whatever the others say.
    bool alone = true;
    for (const TMailbox& mailbox : Settings.Mailboxes) alone = SignsInAlone(mailbox) && alone;
    SyncTyped();
    return alone;
}

void TfrmMain::KeepPassword() {
    for (const TMailbox& mailbox : Settings.Mailboxes) KeepPasswordOf(mailbox);
}

void TfrmMain::KeepPasswordOf(const TMailbox& mailbox) {
    const QLineEdit* row = RowOf(mailbox.Id());
    if (!mailbox.RememberPassword || UsesOAuth(mailbox) || row == nullptr) return;
    const std::optional<std::string> typed = TypedFor(mailbox);
    if (!typed) {
        // The box holds the remembered password: kept again only to mark it encrypted.
        const auto record = Credentials.RememberedPassword(mailbox);
        if (record && !record->Encrypted) Credentials.KeepPassword(mailbox, record->Password);
        return;
    }
    if (typed->empty()) return;
    if (Credentials.KeepPassword(mailbox, *typed).IsOk() && row == edPassword) {
        rememberedInBox_ = AccountKeyringKey(TKeyringItem::Password, mailbox);
        SyncTyped();
    }
}

void TfrmMain::ForgetLeftPasswords(const TSettings& before) {
    const auto key = [](const TMailbox& m) { return AccountKeyringKey(TKeyringItem::Password, m); };
    for (const TMailbox& old : before.Mailboxes) {
        if (!old.RememberPassword || UsesOAuth(old)) continue;
        const TMailbox* now = Settings.Find(old.Id());
        if (now && now->RememberPassword && key(*now) == key(old)) continue;
        const bool stillRemembered =
            std::ranges::any_of(Settings.Mailboxes, [&](const TMailbox& m) {
                return m.RememberPassword && !UsesOAuth(m) && key(m) == key(old);
            });
        if (stillRemembered) continue;
        // What the box holds is the user's to send, no longer the keyring's.
        if (rememberedInBox_ == key(old)) rememberedInBox_.clear();
        Credentials.ForgetPassword(old);
    }
    SyncTyped();
}

void TfrmMain::NoteKeyringUnavailable() {
    if (keyringNoted_) return;
    keyringNoted_ = true;
    UpdateTip(kKeyringUnavailableText);
}

// Only Hide opens the browser: a tick or the tray without a token asks the user to sign in.
const TMailbox* TfrmMain::NeedingSignIn() {
    for (const TMailbox& mailbox : Settings.Mailboxes) {
        if (!mailbox.Unreadable.empty() || !UsesOAuth(mailbox) ||
            !mailbox.OAuth.TokenCommand.empty() || Tokens.Holds(mailbox))
            continue;
        if (std::ranges::find(signInsTried_, mailbox.Id()) == signInsTried_.end()) return &mailbox;
    }
    return nullptr;
}
