#pragma once

// The check cycle: the ticks, one check of the mailbox at a time and its outcome. What is shown
// of an outcome (tooltip, boxes, sound, notifications, the mail program, the window) is left to
// whoever listens to the signals; they are emitted one after the other on the calling thread,
// so a listener that opens a box holds the cycle until the box is closed.

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

class Exception;
class TCredentialSource;
class TPop3;
class TRegistry;
class TTimer;
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
    // while a check is getting its token or password (that waits in a local event loop).
    void CheckMail(bool Quiet);
    // One check of mailbox index (in TSettings::All) only.
    void CheckMailbox(int index, bool Quiet);
    // The outcomes as a check reports them; also for a failure outside the check. While one
    // is being shown (Notifying) a further one only changes the tooltip, or nothing for a
    // failure.
    void ShowNoMail(bool Quiet);
    void NotifyMail();
    void Report(const Exception& e);

    // Whether the last check ended before its outcome.
    bool LastCheckFailed() const { return lastCheckFailed_; }

    TTimer* const Timer;
    const std::unique_ptr<TPop3> Pop3;
    int32_t MailCount = 0;  // messages left after the last check's kill pass
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
    // The remembered password may not be sent on this connection: it is to be typed.
    void PasswordToType();
    // A failure only the user can mend stopped the ticks; signInAgainReason says why a sign-in
    // must be made again, empty for any other failure.
    void UserNeeded(const QString& signInAgainReason);
    // Mailbox index (in TSettings::All) needs the user: its password is to be typed.
    void MailboxNeedsUser(int index);

  private:
    // A check whose sign-in failed: reports it and, when only the user can mend it, stops the
    // ticks and says so.
    void LoginFailed(const Exception& e);

    TSettings& settings_;
    TCredentialSource& credentials_;
    TRegistry* registry_ = nullptr;
    bool preparing_ = false;  // a check is getting its token
    bool lastCheckFailed_ = false;
};
