#include "app/credential_source.h"

#include "app/settings.h"
#include "net/imap.h"
#include "net/pop3.h"
#include "platform/token_command.h"

namespace {

bool Encrypted(const TMailbox& settings) {
    const auto encryption = settings.Connection.Encryption;
    return encryption && *encryption != TEncryption::None;
}

// Either client keeps the password and the access token in members of those names.
template <class TClient>
void HandOver(TClient& client, const TCredential& credential) {
    client.Password.clear();
    client.AccessToken.clear();
    if (client.Authentication == TAuthentication::OAuth2)
        client.AccessToken = credential.Secret;
    else
        client.Password = credential.Secret;
}

}  // namespace

std::string KeyringUnavailableText(const std::string& reason) {
    return "The desktop keyring is not available (" + reason + "): use --password-stdin.";
}

std::string AccountKeyringKey(TKeyringItem item, const TMailbox& settings) {
    return KeyringKey(item, settings.User, settings.Connection.Host, settings.Connection.Port);
}

TCredentialSource::TCredentialSource(TTokenSource& tokens, std::chrono::milliseconds keyringBound)
    : tokens_(tokens), keyring_(keyringBound) {
    connect(&tokens_, &TTokenSource::KeyringUnavailable, this,
            &TCredentialSource::KeyringUnavailable);
}

TKeyringResult TCredentialSource::Note(const TKeyringResult& result) {
    if (result.Status == TKeyringStatus::Unavailable) emit KeyringUnavailable(result.Message);
    return result;
}

TCredential TCredentialSource::For(const TMailbox& settings) {
    const std::optional<std::string> typed = Typed.For(settings);
    if (settings.Connection.Authentication != TAuthentication::OAuth2)
        return Password(settings, typed);
    if (typed) return {*typed};  // an access token given on standard input
    if (!settings.OAuth.TokenCommand.empty()) return {RunTokenCommand(settings.OAuth.TokenCommand)};
    return {tokens_.AccessToken(settings), true};
}

std::optional<TCredential> TCredentialSource::AtHand(const TMailbox& settings) {
    const bool typed = Typed.For(settings).value_or(std::string()) != "";
    if (settings.Connection.Authentication == TAuthentication::OAuth2) {
        if (!typed && settings.OAuth.TokenCommand.empty() && !tokens_.Holds(settings))
            return std::nullopt;
        return For(settings);
    }
    // The test asks the keyring whatever the box says; the copy is still the mailbox, so what
    // was typed for it counts first.
    TMailbox remembering = settings;
    remembering.RememberPassword = true;
    try {
        TCredential credential = For(remembering);
        if (!credential.Secret.empty()) return credential;
    } catch (const ENoCredential&) {
    }
    return std::nullopt;
}

TCredential TCredentialSource::Password(const TMailbox& settings,
                                        const std::optional<std::string>& typed) {
    if (typed && !typed->empty()) return {*typed};
    if (typed && !settings.RememberPassword) return {};
    const std::optional<TPasswordRecord> record = RememberedPassword(settings);
    if (!record) {
        if (typed) return {};
        if (!keyringReason_.empty()) throw ENoCredential(KeyringUnavailableText(keyringReason_));
        throw ENoCredential(kNoRememberedPasswordText);
    }
    if (record->Encrypted && !Encrypted(settings)) throw EPasswordNeedsEncryption();
    return {record->Password};
}

TCredential TCredentialSource::Renewed(const TMailbox& settings) {
    return {tokens_.RenewedAccessToken(settings), true};
}

void TCredentialSource::RefusedAgain(const TMailbox& settings) {
    tokens_.Forget(settings);
    throw ESignInAgain(TSignInAgainReason::RefusedAgain);
}

std::optional<TPasswordRecord> TCredentialSource::RememberedPassword(const TMailbox& settings) {
    const std::string key = AccountKeyringKey(TKeyringItem::Password, settings);
    if (const auto kept = remembered_.find(key); kept != remembered_.end()) return kept->second;
    keyringReason_.clear();
    std::string secret;
    const TKeyringResult read = Note(keyring_.Read(key, secret));
    if (read.Status == TKeyringStatus::Unavailable) keyringReason_ = read.Reason;
    const std::optional<TPasswordRecord> record =
        read.IsOk() ? PasswordRecordOf(secret) : std::nullopt;
    if (record) remembered_[key] = *record;
    return record;
}

TKeyringResult TCredentialSource::KeepPassword(const TMailbox& settings,
                                               const std::string& password) {
    const std::string key = AccountKeyringKey(TKeyringItem::Password, settings);
    const TPasswordRecord record{password, Encrypted(settings)};
    const TKeyringResult written = Note(keyring_.Write(key, RecordText(record)));
    if (written.IsOk()) remembered_[key] = record;
    return written;
}

TKeyringResult TCredentialSource::ForgetPassword(const TMailbox& settings) {
    const std::string key = AccountKeyringKey(TKeyringItem::Password, settings);
    remembered_.erase(key);
    return Note(keyring_.Remove(key));
}

void UseCredential(TPop3& pop3, const TCredential& credential) {
    HandOver(pop3, credential);
}

void UseCredential(TImap& imap, const TCredential& credential) {
    HandOver(imap, credential);
}

bool IsLoginRefusal(const Exception& e) {
    const auto* protocol = dynamic_cast<const EProtocolError*>(&e);
    return protocol && protocol->LoginRefused && !protocol->TemporaryRefusal;
}

void SignIn(TCredentialSource& credentials, TPop3& pop3, const TMailbox& settings,
            const std::function<void()>& login) {
    const TCredential credential = credentials.For(settings);
    UseCredential(pop3, credential);
    try {
        login();
        return;
    } catch (const EProtocolError& e) {
        if (!credential.Renewable || !IsLoginRefusal(e)) throw;
    }
    UseCredential(pop3, credentials.Renewed(settings));
    try {
        login();
    } catch (const EProtocolError& e) {
        if (!IsLoginRefusal(e)) throw;
        credentials.RefusedAgain(settings);
    }
}
