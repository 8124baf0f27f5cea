#include "app/typed_passwords.h"

#include "app/credential_source.h"

void TTypedPasswords::Type(TMailboxId mailbox, const std::string& text) {
    entries_[mailbox] = {text, true, {}};
    emit Changed(mailbox);
}

void TTypedPasswords::TypeLine(TMailboxId mailbox, const std::string& text) {
    entries_[mailbox] = {text, false, {}};
    emit Changed(mailbox);
}

void TTypedPasswords::ShowRemembered(TMailboxId mailbox, const std::string& keyringKey) {
    entries_[mailbox] = {{}, true, keyringKey};
    emit Changed(mailbox);
}

void TTypedPasswords::Forget(TMailboxId mailbox) {
    if (entries_.erase(mailbox) != 0) emit Changed(mailbox);
}

std::optional<std::string> TTypedPasswords::For(const TMailbox& mailbox) const {
    const auto found = entries_.find(mailbox.Id());
    if (found == entries_.end()) return std::nullopt;
    const TEntry& entry = found->second;
    // What a password box holds is no access token.
    if (entry.PasswordOnly && mailbox.Connection.Authentication == TAuthentication::OAuth2)
        return std::nullopt;
    if (entry.RememberedKey.empty()) return entry.Text;
    // Another account's remembered password is not sent to this one.
    if (entry.RememberedKey != AccountKeyringKey(TKeyringItem::Password, mailbox))
        return std::string();
    return std::nullopt;
}
