#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/connection.h"
#include "platform/oauth_config.h"

class TRegistry;

// Where a mailbox was loaded from ("Mailboxes\N"; 0: not stored yet), so that a save moves its
// stored values along when an earlier mailbox is removed. Not part of the mailbox's value: two
// mailboxes alike compare equal wherever they came from.
struct TStoredAt {
    int Number = 0;
    bool operator==(const TStoredAt&) const { return true; }
};

// Which mailbox this is while the program runs: a number no other mailbox of this process
// has had. Never stored. Of a width Qt can stream, as a signal's argument may be.
enum class TMailboxId : unsigned long long { None = 0 };

TMailboxId NewMailboxId();  // a fresh one; safe from any thread

// A mailbox's identity: fresh for each mailbox made (added or loaded), kept by its copies, so
// that an edited copy written back is still the same mailbox. Not part of the mailbox's value.
struct TMailboxIdentity {
    TMailboxId Id = NewMailboxId();
    bool operator==(const TMailboxIdentity&) const { return true; }
};

// One mailbox's own values. Under the settings key they are the first mailbox's; each further
// mailbox has the same values, with the same names and rules, in a sub-key of "Mailboxes".
struct TMailbox {
    // What the user calls it ("Name"; stored only when not empty); empty: shown as USER@HOST.
    std::string Name;
    // The server ("SMTP host", a classic value) and, in newer values, how it is reached. A
    // classic file holds none of those: plain text to the usual port.
    TConnection Connection;
    std::string User;
    // The "OAuth ..." values and "Token command"; unused by the other ways of signing in.
    TOAuthConfig OAuth;
    // Keep the password in the desktop keyring ("Remember password", REG_DWORD 0 or 1); the
    // settings file never holds it.
    bool RememberPassword = false;
    // IMAP only: the folder guarded ("Folder"; empty: INBOX) and where condemned messages go
    // ("Move To"; empty: they are deleted), both as the user writes them.
    std::string Folder;
    std::string MoveTo;
    // Examine each message only once ("Fast Check", REG_DWORD 0 or 1; absent means 0).
    bool FastCheck = false;
    // Why a further mailbox's stored sub-key cannot be read (its "SMTP host" or "User" is there
    // but no text); empty when it could. Such a mailbox is not checked, and a save leaves its
    // sub-key as it is stored, at its number.
    std::string Unreadable;
    TStoredAt StoredAt;
    TMailboxIdentity Identity;

    std::string ShownName() const;  // Name, or USER@HOST when it is empty
    TMailboxId Id() const { return Identity.Id; }

    bool operator==(const TMailbox&) const = default;
};

// The user settings: what all mailboxes share (seven classic values and the newer ones after
// them; an empty path means the feature is off), and the mailboxes.
struct TSettings {
    std::string MailProgram;
    std::string LogFile;
    int32_t Interval = 0;
    std::string WavSound;
    bool ShowMessage = false;
    // How rules compare ("Decode Headers", "Ignore Case", REG_DWORD 0 or 1; absent means 0).
    bool DecodeHeaders = false;
    bool IgnoreCase = false;
    // Notifications instead of boxes, and the count on the tray icon ("Desktop Notification",
    // "Count On Icon", REG_DWORD 0 or 1; absent means 0).
    bool DesktopNotification = false;
    bool CountOnIcon = false;
    // Every mailbox, one or more, in the order the user added them.
    std::vector<TMailbox> Mailboxes = std::vector<TMailbox>(1);

    // The mailbox of that identity; null when there is none (removed since).
    TMailbox* Find(TMailboxId id);
    const TMailbox* Find(TMailboxId id) const;

    bool operator==(const TSettings&) const = default;
};

// The encryption when a stored one is present but cannot be read (another type or size, a
// number no encryption has): no check runs until the user chooses one, and saving leaves the
// stored value as it is.
inline constexpr std::optional<TEncryption> kEncryptionUnreadable = std::nullopt;
// The same for a stored way of signing in: no check runs until the user chooses one.
inline constexpr std::optional<TAuthentication> kAuthenticationUnreadable = std::nullopt;
// The same for a stored protocol ("Protocol" neither 0 nor 1, or no DWORD): not checked.
inline constexpr std::optional<TMailProtocol> kProtocolUnreadable = std::nullopt;
// What a stored "Trusted certificate" that is no text loads as: no fingerprint, so a check
// refuses it until the user corrects it. Never written.
inline constexpr const char* kUnreadablePin = "(unreadable)";

inline constexpr const char* kSettingsKey = "\\Software\\Quorvat\\Vornask";
// Below the settings key: the further mailboxes' sub-keys.
inline constexpr const char* kMailboxesKey = "Mailboxes";

// What a load left behind, so that the save at the end does not overwrite stored values the
// load never read with fields that never held them.
struct TSettingsLoad {
    // Value names after the read that failed; kMailboxesKey while the further mailboxes were not
    // read.
    std::vector<std::string> Unreached;
    TSettings Left;  // the fields as the load left them
};

// Loads what is stored under the settings key, one value after the other; a failed read of a
// required value raises and leaves the classic values after it as they were. The newer values
// after the classic ones are read leniently, even when a classic value stopped the load:
// missing, odd or out of range gives the default, but a stored encryption that cannot be read
// gives kEncryptionUnreadable (an authentication: kAuthenticationUnreadable, a protocol:
// kProtocolUnreadable). The value that failed counts as reached; when the key cannot be opened
// (no key), nothing is unreached, but when opening raises, everything is. The further mailboxes are
// read in the order of their numbers (a gap is no fault) with the same rules, each on its own: one
// whose "SMTP host" or "User" cannot be read loads with Unreadable saying so, and the others load
// all the same.
void LoadSettings(TRegistry& registry, TSettings& settings);
void LoadSettings(TRegistry& registry, TSettings& settings, TSettingsLoad& load);
// Writes the seven classic values, "Log File" last, then each newer value that differs from its
// default, in one replacement of the file; so a classic file stays as it was. An unreadable
// encryption, authentication or protocol is not written: what is stored stays. With a load's
// record it skips each stored value the load never reached whose field still holds what the load
// left. The further mailboxes are written to "Mailboxes\2", "\3", ... in order, each mailbox's
// stored values moved along when an earlier one was removed; "Mailboxes" is deleted when there are
// none. While one of them is Unreadable nothing is renumbered: each keeps its number, a new one
// takes the next.
void SaveSettings(TRegistry& registry, const TSettings& settings);
void SaveSettings(TRegistry& registry, const TSettings& settings, const TSettingsLoad& load);
