#pragma once

// What the desktop keyring keeps for an account, as a small JSON object, so that a secret is
// used only where it was kept for: a password with whether it was kept for an encrypted
// connection, a refresh token with the token URL and client ID it was issued for. A secret
// that is no such object (as kept by earlier versions) reads as nothing kept.

#include <optional>
#include <string>

struct TPasswordRecord {
    std::string Password;
    bool Encrypted = false;  // kept over STARTTLS or TLS on connect
};

struct TSignInRecord {
    std::string RefreshToken;
    std::string TokenUrl;
    std::string ClientId;
};

// {"encrypted":true,"password":"..."}
std::string RecordText(const TPasswordRecord& record);
std::optional<TPasswordRecord> PasswordRecordOf(const std::string& secret);

// {"client_id":"...","refresh_token":"...","token_url":"..."}
std::string RecordText(const TSignInRecord& record);
std::optional<TSignInRecord> SignInRecordOf(const std::string& secret);
