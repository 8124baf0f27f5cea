#pragma once

// The desktop keyring (Secret Service, or KWallet where that is the desktop's), used
// synchronously: each call runs a local event loop until the keyring answers, at most the
// bound (10 s unless told), so timers and other events keep being delivered meanwhile. Needs a
// Qt application object on the calling thread. Items live under the service "Vornask"; their
// keys come from KeyringKey. Nothing is ever written elsewhere when the keyring fails.
// Results: Ok; NotFound (no such item); Unavailable (no keyring service, locked, refused, or
// no answer within the bound), each with a message the user can be shown.

#include <chrono>
#include <cstdint>
#include <string>

enum class TKeyringStatus { Ok, NotFound, Unavailable };

struct TKeyringResult {
    TKeyringStatus Status = TKeyringStatus::Ok;
    std::string Message;  // empty when Ok
    // Why the keyring is Unavailable, in a few words ("locked", "no answer within 10 s", or
    // the keyring's own words); empty otherwise.
    std::string Reason;
    bool IsOk() const { return Status == TKeyringStatus::Ok; }
};

// What an item holds: a mail password, or an OAuth2 refresh token.
enum class TKeyringItem { Password, OAuth };

// "password:USER@HOST:PORT" or "oauth:USER@HOST:PORT".
std::string KeyringKey(TKeyringItem item, const std::string& user, const std::string& host,
                       uint16_t port);

class TKeyring {
  public:
    static constexpr const char* Service = "Vornask";

    explicit TKeyring(std::chrono::milliseconds bound = std::chrono::seconds(10)) : bound_(bound) {}

    // Fills secret only when Ok.
    TKeyringResult Read(const std::string& key, std::string& secret) const;
    TKeyringResult Write(const std::string& key, const std::string& secret) const;
    // Removing an item that is not there is Ok or NotFound, depending on the keyring.
    TKeyringResult Remove(const std::string& key) const;

  private:
    std::chrono::milliseconds bound_;
};
