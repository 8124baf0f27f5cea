#pragma once

// What the user typed for each mailbox, kept by the mailbox's identity: a password (or, with
// --password-stdin, an access token), or a mark that the mailbox's row holds the password the
// keyring remembers. A copy of a mailbox (Mail Options' working copy, the kill list editor's
// try) finds what was typed for its mailbox, whatever its values.

#include <QObject>
#include <map>
#include <optional>
#include <string>

#include "app/settings.h"

class TTypedPasswords : public QObject {
    Q_OBJECT
  public:
    // What the mailbox's row holds, typed by the user (may be empty): a password, so nothing
    // for a mailbox that signs in with OAuth2.
    void Type(TMailboxId mailbox, const std::string& text);
    // A line given for the mailbox on standard input: its password, or with OAuth2 its access
    // token.
    void TypeLine(TMailboxId mailbox, const std::string& text);
    // The row holds the password remembered under keyringKey; for another account (the
    // mailbox's user or server changed since) it counts as nothing typed.
    void ShowRemembered(TMailboxId mailbox, const std::string& keyringKey);
    // The mailbox has no row: the remembered credential is used and must be there.
    void Forget(TMailboxId mailbox);

    // What the credential source takes for the mailbox: nothing when the remembered credential
    // is to be used, else the text (empty: nothing typed).
    std::optional<std::string> For(const TMailbox& mailbox) const;

  signals:
    // What was typed for the mailbox changed.
    void Changed(TMailboxId mailbox);

  private:
    struct TEntry {
        std::string Text;
        bool PasswordOnly = true;
        std::string RememberedKey;  // not empty: the row holds this remembered password
    };
    std::map<TMailboxId, TEntry> entries_;
};
