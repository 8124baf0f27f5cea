#include "app/check_cycle.h"

#include <numeric>

#include "app/check_session.h"
#include "app/credential_source.h"
#include "app/settings.h"
#include "app/shown_message.h"
#include "app/timer.h"
#include "app/token_source.h"
#include "base/exception.h"
#include "net/pop3.h"
#include "platform/oauth_config.h"
#include "platform/token_command.h"

namespace {

// Holds a flag (Notifying for one notification, or a session being prepared); lets it go
// however that ends, so a failed box, sound or start can never silence every later one.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

template <class E>
bool Is(const Exception& e) {
    return dynamic_cast<const E*>(&e) != nullptr;
}

// A failure only the user can mend: a refused password, a refused certificate, an encryption
// that cannot be used, an OAuth2 sign-in that must be done again. "Not now" is no reason to
// doubt the password.
bool NeedsUser(const Exception& e) {
    if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e))
        return !protocol->TemporaryRefusal;
    return Is<ETlsError>(e) || Is<EEncryptionError>(e) || Is<ESignInAgain>(e) ||
           Is<ENoCredential>(e);
}

}  // namespace

TCheckCycle::TCheckCycle(TSettings& settings, TCredentialSource& credentials, QObject* parent)
    : QObject(parent),
      Timer(new TTimer(this)),
      Pop3(std::make_unique<TPop3>()),
      settings_(settings),
      credentials_(credentials) {
    Timer->SetEnabled(false);
    Timer->SetInterval(1000);
}

TCheckCycle::~TCheckCycle() {
    // Ticks must not reach a cycle that is going away.
    Timer->SetEnabled(false);
}

void TCheckCycle::Start() {
    Timer->SetInterval(MinutesToMs(settings_.Interval));
    Timer->SetEnabled(true);
    CheckMail(true);
}

void TCheckCycle::Stop() {
    Timer->SetEnabled(false);
}

void TCheckCycle::CheckMail(bool Quiet) {
    if (preparing_) return;
    const size_t count = settings_.Mailboxes.size();
    if (count == 1) {
        outcomes_.clear();
        CheckSingle(Quiet);
        return;
    }
    std::vector<int> indexes(count);
    std::iota(indexes.begin(), indexes.end(), 0);
    CheckSeveral(indexes, Quiet);
}

void TCheckCycle::CheckMailbox(int index, bool Quiet) {
    if (preparing_) return;
    const size_t count = settings_.Mailboxes.size();
    if (count == 1) {
        CheckMail(Quiet);
        return;
    }
    if (index < 0 || static_cast<size_t>(index) >= count) return;
    CheckSeveral({index}, Quiet);
}

void TCheckCycle::CheckSingle(bool Quiet) {
    TCheckSession session(*Pop3, *registry_, settings_);
    lastCheckFailed_ = true;  // until it reaches its outcome
    try {
        const FlagScope preparing(preparing_);
        PrepareSession(*Pop3, settings_.Mailboxes.front());
        SignIn(credentials_, *Pop3, settings_.Mailboxes.front(), [&] { session.Login(); });
    } catch (const Exception& e) {
        LoginFailed(e, settings_.Mailboxes.front().Id());
        return;
    }
    MailCount = session.Listed();
    session.Run(MailCount);
    lastCheckFailed_ = false;
    if (MailCount != 0)
        NotifyMail();
    else
        ShowNoMail(Quiet);
}

void TCheckCycle::CheckSeveral(const std::vector<int>& indexes, bool Quiet) {
    if (outcomes_.size() != settings_.Mailboxes.size())
        outcomes_.assign(settings_.Mailboxes.size(), {});
    std::vector<TChecked> checked;
    {
        // A check asked for while one mailbox waits for its credential is dropped, as with one.
        const FlagScope preparing(preparing_);
        for (const int index : indexes) {
            // Looked up each time: the settings may change while a credential is awaited.
            const std::vector<TMailbox>& all = settings_.Mailboxes;
            if (static_cast<size_t>(index) >= all.size()) break;
            checked.push_back(CheckOne(all[index]));
            if (outcomes_.size() == all.size()) outcomes_[index] = checked.back().Outcome;
        }
    }
    ShowSeveral(checked, Quiet);
}

TCheckCycle::TChecked TCheckCycle::CheckOne(const TMailbox& mailbox) {
    TChecked checked;
    checked.Mailbox = mailbox.Id();
    if (!mailbox.Unreadable.empty()) {
        checked.Outcome.Failure = mailbox.Unreadable;
        return checked;
    }
    bool signedIn = false;
    try {
        TCheckSession session(*Pop3, *registry_, settings_, mailbox);
        PrepareSession(*Pop3, mailbox);
        SignIn(credentials_, *Pop3, mailbox, [&] { session.Login(); });
        signedIn = true;
        const int32_t listed = session.Listed();
        int32_t left = listed;
        session.Run(left);
        checked.Outcome.Count = left;
        checked.Outcome.Deleted = listed - left;
    } catch (const Exception& e) {
        checked.Outcome.Failure = ShownMessage(e);
        checked.ShowBox = NeedsUser(e);
        if (checked.ShowBox) checked.Detail = ShownDetail(e);
        // As with one mailbox, only a refused sign-in brings the window back.
        checked.BringBack = !signedIn && NeedsUser(e);
        checked.PasswordToType = Is<EPasswordNeedsEncryption>(e);
        if (const auto* again = dynamic_cast<const ESignInAgain*>(&e))
            checked.SignInAgainReason = QString(SignInAgainReasonText(again->Reason));
    }
    return checked;
}

void TCheckCycle::ShowSeveral(const std::vector<TChecked>& checked, bool Quiet) {
    std::vector<const TMailbox*> mailboxes;
    for (const TMailbox& mailbox : settings_.Mailboxes) mailboxes.push_back(&mailbox);
    MailCount = 0;
    lastCheckFailed_ = false;
    for (const TMailboxOutcome& outcome : outcomes_) {
        MailCount += outcome.Count;
        lastCheckFailed_ = lastCheckFailed_ || outcome.Failed();
    }
    emit TipChanged(OutcomeTip(mailboxes, outcomes_));
    for (const TChecked& one : checked)
        if (one.PasswordToType) emit PasswordToType(one.Mailbox);
    if (!Notifying) {
        const FlagScope scope(Notifying);
        bool boxShown = false;
        for (const TChecked& one : checked) {
            if (!one.ShowBox) continue;
            emit FailureShown(one.Detail);
            boxShown = true;
        }
        if (MailCount != 0)
            emit MailWaiting(MailCount);
        else if (!Quiet && !boxShown)
            emit NoMail();
    }
    for (size_t k = 0; k < checked.size(); ++k) {
        if (!checked[k].BringBack) continue;
        emit MailboxNeedsUser(checked[k].Mailbox);
        emit UserNeeded(checked[k].SignInAgainReason);
        Stop();
        return;
    }
}

// Must be called from a handler: anything else than a failed connection or sign-in, or a
// refusal (by the server, of its certificate, of the encryption, of the OAuth2 tokens), is
// thrown on to CheckMail's caller.
void TCheckCycle::LoginFailed(const Exception& e, TMailboxId mailbox) {
    // A connection, token command or refresh that failed: the next tick tries again.
    if (Is<ESocketError>(e) || Is<ETokenCommandError>(e) || Is<EOAuthError>(e)) {
        Report(e);
        return;
    }
    if (!Is<EProtocolError>(e) && !NeedsUser(e)) throw;
    if (Is<EPasswordNeedsEncryption>(e)) emit PasswordToType(mailbox);
    Report(e);
    if (!NeedsUser(e)) return;  // "not now": the next tick tries again
    const auto* again = dynamic_cast<const ESignInAgain*>(&e);
    emit UserNeeded(again ? QString(SignInAgainReasonText(again->Reason)) : QString());
    Stop();
}

void TCheckCycle::ShowNoMail(bool Quiet) {
    emit TipChanged(kNoMailText);
    if (Quiet || Notifying) return;
    const FlagScope scope(Notifying);
    emit NoMail();
}

void TCheckCycle::NotifyMail() {
    emit TipChanged(kYouHaveMailText);
    if (Notifying) return;
    const FlagScope scope(Notifying);
    emit MailWaiting(MailCount);
}

void TCheckCycle::Report(const Exception& e) {
    if (Notifying) return;
    const FlagScope scope(Notifying);
    emit TipChanged(ShownMessage(e));
    if (NeedsUser(e)) emit FailureShown(ShownDetail(e));
}
