#pragma once

// The check cycle: the ticks, the checks of the mailboxes and their outcome. Each mailbox is
// checked by a TMailboxCheck of its own, all at once, their sessions beside this thread; each
// mailbox's line of the tooltip follows as soon as its outcome is known, and what is shown of
// the whole (boxes, sound, notifications, the mail program, the window) once all are done. What
// is shown is left to whoever listens to the signals; they are emitted one after the other on
// this thread, so a listener that opens a box holds the rest until the box is closed.
// While the cycle guards (Start .. Stop), each IMAP mailbox whose last check signed in is also
// watched (TImapWatch): its passes as mail arrives change its line as a check's outcome would.

#include <QObject>
#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/credential_source.h"
#include "app/imap_watch.h"
#include "app/mailbox_outcome.h"
#include "app/settings.h"

class Exception;
class TMailboxCheck;
class TRegistry;
class TTimer;
struct TMailboxCheckResult;

class TCheckCycle : public QObject {
    Q_OBJECT
  public:
    // settings and credentials must outlive the cycle.
    TCheckCycle(TSettings& settings, TCredentialSource& credentials, QObject* parent = nullptr);
    ~TCheckCycle() override;

    // The hive the sessions read the kill list from; must be set before a check runs.
    void UseRegistry(TRegistry* registry) { registry_ = registry; }

    // Starts the ticks at the settings' interval and checks at once, quietly; from then on an
    // IMAP mailbox is watched after each check of it that signed in.
    void Start();
    // No more ticks or watches until Start.
    void Stop();
    TTimer* Timer() const { return timer_; }

    // Checks every mailbox, each in its own session. Asked while a check runs, it starts no
    // second session on a mailbox: one more check follows once the running one has ended.
    void CheckMail(bool Quiet);
    // The same for one mailbox; the others' last outcomes stay in the tooltip's lines.
    void CheckMailbox(TMailboxId id, bool Quiet);
    // Gives up the running check without showing anything of it: sessions that have deleted
    // nothing are closed at once, the others get at most grace to log out. A check asked for
    // after this waits until they have ended. Watches end at once (the settings they were
    // started with may be gone); the next check that signs in starts them again.
    void Abandon(std::chrono::milliseconds grace = std::chrono::seconds(2));
    // Whether a check runs (an abandoned one included).
    bool Running() const;
    // Watches the mailbox with the settings as they are now, unless it is watched already or
    // its server was found to lack IDLE since the watches last ended.
    void Watch(TMailboxId id);
    // Whether the mailbox is watched.
    bool Watching(TMailboxId id) const { return watches_.count(id) != 0; }
    // What each watch is made with (tests and the bench shorten the pauses).
    TImapWatchTiming WatchTiming;
    TWatchPassMaker WatchPass = MakeImapWatchPass;
    // Waits in a local event loop until no check runs, at most timeout; whether none runs.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

    // A failure outside the checks, shown as a check's would be.
    void Report(const Exception& e);

    // Messages left after the last checks, in all mailboxes.
    int32_t MailCount() const { return mailCount_; }
    // Whether any mailbox's last check ended before its outcome.
    bool LastCheckFailed() const { return lastCheckFailed_; }
    // Each mailbox's last outcome, in the settings' order.
    std::vector<TMailboxOutcome> Outcomes() const;
    // Whether an outcome is being shown: a box opened for it holds the rest until closed, and a
    // further outcome meanwhile only changes the tooltip.
    bool Notifying() const { return notifying_; }
    void SetNotifying(bool notifying) { notifying_ = notifying; }
    // Outcomes as a check shows them: no mail (a box unless quiet), or count messages waiting.
    void ShowNoMail(bool Quiet);
    void NotifyMail(int32_t count);
    // How many sessions have gone to their workers, and the credential the last one signs in
    // with: what a check had before it connected.
    int SessionsStarted() const { return sessionsStarted_; }
    const TCredential& LastCredential() const { return lastCredential_; }

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
    void PasswordToType(TMailboxId id);
    // A failure only the user can mend stopped the ticks; signInAgainReason says why a sign-in
    // must be made again, empty for any other failure.
    void UserNeeded(const QString& signInAgainReason);
    // Just before UserNeeded: the mailbox whose refused sign-in brings the window back.
    void MailboxNeedsUser(TMailboxId id);

  private:
    // What one mailbox's check found, with what its failure asks of the user.
    struct TChecked {
        TMailboxId Id = TMailboxId::None;
        TMailboxOutcome Outcome;
        bool ShowBox = false;    // a failure the error box shows
        bool BringBack = false;  // a refused sign-in: the window comes back for the user
        bool PasswordToType = false;
        bool LeftFlagged = false;  // condemned messages were left flagged \Deleted
        std::string Detail;        // the error box's words
        QString SignInAgainReason;
    };
    struct TRound {
        bool Quiet = true;
        bool Abandoned = false;
        std::vector<TChecked> Checked;
        // Started while an outcome was being shown: it only changes the tooltip, even when it
        // ends after that outcome.
        bool Nested = false;
    };
    struct TPending {
        bool Quiet = true;
        // Every asker asked while an outcome was being shown: the check stays as quiet as one
        // started then.
        bool Nested = true;
        std::vector<TMailboxId> Ids;
    };

    void Request(const std::vector<TMailboxId>& ids, bool Quiet);
    void StartRound(const std::vector<TMailboxId>& ids, bool Quiet, bool nested);
    void StartOne(const TMailbox& mailbox);
    void MailboxDone(TMailboxCheck* check, const TMailboxCheckResult& result);
    TChecked Judge(const TMailbox& mailbox, const TMailboxCheckResult& result) const;
    void Record(const TChecked& checked);
    void RoundEnded();
    void ShowRound(const TRound& round);
    void ShowFailureAlone(const TChecked& checked, bool nested);
    void BringBackFor(const std::vector<TChecked>& checked);
    std::string Tip() const;
    // The mail count and whether any check failed, from the outcomes; gives the messages
    // waiting in the mailboxes whose last check reached its outcome.
    int32_t Recount();
    // A watch's pass, its dropped connection, its end.
    void WatchPassed(TMailboxId id, const TImapPassCounts& counts);
    void WatchDown(TMailboxId id, std::chrono::milliseconds pause);
    void WatchEnded(TMailboxId id, TImapWatchEnd why);
    void StopWatches();
    // Says, once per mailbox and run, that its condemned messages are left flagged; the caller
    // holds the Notifying flag.
    void SayLeftFlagged(TMailboxId id);
    std::vector<TMailboxId> AllIds() const;

    TSettings& settings_;
    TCredentialSource& credentials_;
    TRegistry* registry_ = nullptr;
    TTimer* timer_;
    std::optional<TRound> round_;
    std::optional<TPending> pending_;
    std::vector<TMailboxCheck*> running_;
    std::map<TMailboxId, TImapWatch*> watches_;
    // The tooltip's line of each mailbox whose watch is down, in place of its outcome's.
    std::map<TMailboxId, std::string> down_;
    std::vector<TMailboxId> noIdle_;           // servers without IDLE, until the watches end
    std::vector<TMailboxId> leftFlaggedSaid_;  // for the whole run
    bool guarding_ = false;
    // The last outcome of each mailbox checked, by identity.
    std::vector<std::pair<TMailboxId, TMailboxOutcome>> outcomes_;
    int32_t mailCount_ = 0;
    bool lastCheckFailed_ = false;
    bool notifying_ = false;
    int sessionsStarted_ = 0;
    TCredential lastCredential_;
};
