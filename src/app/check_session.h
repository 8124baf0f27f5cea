#pragma once

// The session part of one check, shared by the tray's check and `vornask --check`: a fast
// check (one session that examines only what it has not examined yet) or the classic login,
// header read and logout followed by the kill pass. Both take the kill list, the log file, the
// record of examined messages and the match options from the settings.

#include <cstdint>
#include <optional>

#include "filter/fast_pass.h"

class TPop3;
class TRegistry;
struct TMailbox;
struct TSettings;

// The outcome of a check as the tooltip and `vornask --check` say it.
inline constexpr const char* kYouHaveMailText = "You have mail!";
inline constexpr const char* kNoMailText = "No mail.";

// Hands the mailbox's connection and user to the client for a new session (the credential
// follows). An encryption that could not be read raises EEncryptionError before anything is
// sent. The listing a failed session left behind is dropped: it says nothing about the mailbox
// now and must not be counted again.
void PrepareSession(TPop3& pop3, const TMailbox& mailbox);

class TCheckSession {
  public:
    // pop3 must already hold the connection and the credentials. The mailbox says whether its
    // check is fast; settings gives what all mailboxes share.
    TCheckSession(TPop3& pop3, TRegistry& registry, const TSettings& settings,
                  const TMailbox& mailbox);

    // Signs in and lists the mailbox; raises what TPop3::Login raises.
    void Login();
    // The number of messages the login listed.
    int32_t Listed() const;
    // Examines, logs and deletes the condemned messages, lowering mailCount per deletion.
    void Run(int32_t& mailCount);

  private:
    TPop3& pop3_;
    TRegistry& registry_;
    const TSettings& settings_;
    const TMailbox& mailbox_;
    std::optional<TFastCheck> fast_;
};
