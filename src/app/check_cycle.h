#pragma once

// The check cycle: the ticks, one check of the mailbox at a time and its outcome. What is shown
// of an outcome (tooltip, boxes, sound, notifications, the mail program, the window) is left to
// whoever listens to the signals; they are emitted one after the other on the calling thread,
// so a listener that opens a box holds the cycle until the box is closed.

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/mailbox_outcome.h"
#include "app/settings.h"

class Exception;
class TCredentialSource;
class TPop3;
class TRegistry;
class TTimer;
struct TMailbox;
struct TSettings;

class TCheckCycle : public QObject {
    Q_OBJECT
  public:
    // settings and credentials must outlive the cycle.
    TCheckCycle(TSettings& settings, TCredentialSource& credentials, QObject* parent = nullptr);
    ~TCheckCycle() override;

    // The hive the kill list and the record of examined messages are read from; must be set
    // before a check runs.
    void UseRegistry(TRegistry* registry) { registry_ = registry; }

    // Starts the ticks at the settings' interval and checks at once, quietly.
    void Start();
    // No more ticks until Start.
    void Stop();

    // One check. Failures it knows are reported; any other goes on to the caller. Does nothing
    // while a check is getting its token or password (that waits in a local event loop). With
    // several mailboxes each is checked in its own session, one after the other; one that
    // fails, for whatever reason, does not stop the others, and the outcome is the whole's.
    void CheckMail(bool Quiet);
    // Checks mailbox index of the settings' Mailboxes only, its outcome shown as a whole check's;
    // the other mailboxes' last outcomes stay in the tooltip's lines. With one mailbox: CheckMail.
    void CheckMailbox(int index, bool Quiet);
    // The outcomes as a check reports them; also for a failure outside the check. While one
    // is being shown (Notifying) a further one only changes the tooltip, or nothing for a
    // failure.
    void ShowNoMail(bool Quiet);
    void NotifyMail();
    void Report(const Exception& e);

    // Whether the last check ended before its outcome; with several mailboxes, whether any
    // mailbox's last check did.
    bool LastCheckFailed() const { return lastCheckFailed_; }
    // With several mailboxes each one's last outcome, by index in Mailboxes; empty with one.
    const std::vector<TMailboxOutcome>& Outcomes() const { return outcomes_; }

    TTimer* const Timer;
    const std::unique_ptr<TPop3> Pop3;
    int32_t MailCount = 0;  // messages left after the last check's kill pass, in all mailboxes
    bool Notifying = false;

  signals:
    // The tooltip's text for an outcome or a failure.
    void TipChanged(const std::string& text);
    // No mail, to be said in a box or notification.
    void NoMail();
    // Mail is waiting: the sound, the count and the mail program.
    void MailWaiting(int32_t count);
    // A failure that needs the user, in the error box's words.
    void FailureShown(const std::string& detail);
    // The mailbox's remembered password may not be sent on its connection: it is to be typed.
    void PasswordToType(TMailboxId mailbox);
    // A failure only the user can mend stopped the ticks; signInAgainReason says why a sign-in
    // must be made again, empty for any other failure.
    void UserNeeded(const QString& signInAgainReason);
    // Just before UserNeeded, with several mailboxes: the mailbox whose refused login brings
    // the window back.
    void MailboxNeedsUser(TMailboxId mailbox);

  private:
    // What a check of one of several mailboxes found, with what its failure asks of the user.
    struct TChecked {
        TMailboxId Mailbox = TMailboxId::None;
        TMailboxOutcome Outcome;
        bool ShowBox = false;    // a failure the error box shows
        bool BringBack = false;  // a refused sign-in: the window comes back for the user
        bool PasswordToType = false;
        std::string Detail;  // the error box's words
        QString SignInAgainReason;
    };

    // The single mailbox's check, as it always was.
    void CheckSingle(bool Quiet);
    // Checks the mailboxes at indexes, each in its own session, and shows the whole outcome.
    void CheckSeveral(const std::vector<int>& indexes, bool Quiet);
    TChecked CheckOne(const TMailbox& mailbox);
    // Shows the outcome of all mailboxes after the ones in checked were checked: the tooltip,
    // the boxes of the failures that need the user, the mail or no mail, the window.
    void ShowSeveral(const std::vector<TChecked>& checked, bool Quiet);
    // A check whose sign-in failed: reports it and, when only the user can mend it, stops the
    // ticks and says so.
    void LoginFailed(const Exception& e, TMailboxId mailbox);

    TSettings& settings_;
    TCredentialSource& credentials_;
    TRegistry* registry_ = nullptr;
    bool preparing_ = false;  // a check is getting its token
    bool lastCheckFailed_ = false;
    std::vector<TMailboxOutcome> outcomes_;
};
