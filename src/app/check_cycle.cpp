#include "app/check_cycle.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "app/check_session.h"
#include "app/credential_source.h"
#include "app/failure_kind.h"
#include "app/mailbox_check.h"
#include "app/shown_message.h"
#include "app/timer.h"
#include "app/token_source.h"
#include "base/exception.h"
#include "platform/registry.h"

namespace {

// Holds the Notifying flag for one notification; lets it go however that ends, so a failed
// box, sound or start can never silence every later one.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

// A failure as the one line of a single mailbox's tooltip: no answer reads as a sentence.
std::string Capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 32);
    return text;
}

}  // namespace

TCheckCycle::TCheckCycle(TSettings& settings, TCredentialSource& credentials, QObject* parent)
    : QObject(parent), settings_(settings), credentials_(credentials), timer_(new TTimer(this)) {
    timer_->SetEnabled(false);
    timer_->SetInterval(1000);
}

TCheckCycle::~TCheckCycle() {
    // Ticks must not reach a cycle that is going away; sessions still running are cut off.
    timer_->SetEnabled(false);
    for (TMailboxCheck* check : running_) check->disconnect(this);
    for (const auto& [id, watch] : watches_) watch->disconnect(this);
}

void TCheckCycle::Start() {
    guarding_ = true;
    timer_->SetInterval(MinutesToMs(settings_.Interval));
    timer_->SetEnabled(true);
    CheckMail(true);
}

void TCheckCycle::Stop() {
    timer_->SetEnabled(false);
    guarding_ = false;
    StopWatches();
}

void TCheckCycle::CheckMail(bool Quiet) {
    Request(AllIds(), Quiet);
}

void TCheckCycle::CheckMailbox(TMailboxId id, bool Quiet) {
    if (settings_.Find(id)) Request({id}, Quiet);
}

std::vector<TMailboxId> TCheckCycle::AllIds() const {
    std::vector<TMailboxId> ids;
    for (const TMailbox& mailbox : settings_.Mailboxes) ids.push_back(mailbox.Id());
    return ids;
}

void TCheckCycle::Request(const std::vector<TMailboxId>& ids, bool Quiet) {
    if (!round_) {
        StartRound(ids, Quiet, notifying_);
        return;
    }
    // Not lost: one more check follows the running one, quiet only when every asker was.
    if (!pending_) pending_ = TPending{Quiet, notifying_, {}};
    pending_->Quiet = pending_->Quiet && Quiet;
    pending_->Nested = pending_->Nested && notifying_;
    for (const TMailboxId& id : ids)
        if (std::find(pending_->Ids.begin(), pending_->Ids.end(), id) == pending_->Ids.end())
            pending_->Ids.push_back(id);
}

void TCheckCycle::StartRound(const std::vector<TMailboxId>& ids, bool Quiet, bool nested) {
    round_ = TRound{Quiet, false, {}, nested || notifying_};
    // Copies: the settings may change while a mailbox waits for its credential.
    std::vector<TMailbox> mailboxes;
    for (const TMailboxId& id : ids)
        if (const TMailbox* mailbox = settings_.Find(id)) mailboxes.push_back(*mailbox);
    for (const TMailbox& mailbox : mailboxes) {
        if (!round_ || round_->Abandoned) break;
        StartOne(mailbox);
    }
    if (round_ && running_.empty()) RoundEnded();
}

void TCheckCycle::StartOne(const TMailbox& mailbox) {
    if (!mailbox.Unreadable.empty()) {
        TChecked checked;
        checked.Id = mailbox.Id();
        checked.Outcome.Failure = mailbox.Unreadable;
        Record(checked);
        return;
    }
    auto* check = new TMailboxCheck(credentials_, registry_ ? registry_->HivePath() : "", this);
    running_.push_back(check);
    connect(check, &TMailboxCheck::SessionStarting, this, [this](const TCredential& credential) {
        ++sessionsStarted_;
        lastCredential_ = credential;
    });
    connect(check, &TMailboxCheck::Finished, this,
            [this, check](const TMailboxCheckResult& result) { MailboxDone(check, result); });
    check->Start(settings_, mailbox);
}

void TCheckCycle::MailboxDone(TMailboxCheck* check, const TMailboxCheckResult& result) {
    running_.erase(std::remove(running_.begin(), running_.end(), check), running_.end());
    check->deleteLater();
    const bool shown = round_ && !round_->Abandoned && !result.Abandoned;
    if (shown) Record(Judge(check->Mailbox(), result));
    // From the event loop: the watch's credential may wait in one, and this round is not done.
    if (shown && guarding_ && result.SignedIn &&
        check->Mailbox().Connection.Protocol == TMailProtocol::Imap) {
        const TMailboxId id = check->Mailbox().Id();
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (guarding_) Watch(id);
            },
            Qt::QueuedConnection);
    }
    if (round_ && running_.empty()) RoundEnded();
}

TCheckCycle::TChecked TCheckCycle::Judge(const TMailbox& mailbox,
                                         const TMailboxCheckResult& result) const {
    TChecked checked;
    checked.Id = mailbox.Id();
    checked.LeftFlagged = result.LeftFlagged;
    if (!result.Failure) {
        checked.Outcome.Count = result.Counts.Left;
        checked.Outcome.Deleted = result.Counts.Deleted();
        return checked;
    }
    try {
        std::rethrow_exception(result.Failure);
    } catch (const Exception& e) {
        const std::optional<std::string> noAnswer = NoAnswerText(e, mailbox.Connection);
        checked.Outcome.Failure = noAnswer ? *noAnswer : ShownMessage(e);
        checked.ShowBox = NeedsUser(e);
        checked.Detail = ShownDetail(e);
        // Only a sign-in that needs the user brings the window back.
        checked.BringBack = !result.SignedIn && checked.ShowBox;
        checked.PasswordToType = dynamic_cast<const EPasswordNeedsEncryption*>(&e) != nullptr;
        if (const auto* again = dynamic_cast<const ESignInAgain*>(&e))
            checked.SignInAgainReason = QString(SignInAgainReasonText(again->Reason));
    } catch (const std::exception& e) {
        checked.Outcome.Failure = e.what();
        checked.ShowBox = true;
        checked.Detail = e.what();
    }
    return checked;
}

void TCheckCycle::Record(const TChecked& checked) {
    auto found = std::find_if(outcomes_.begin(), outcomes_.end(),
                              [&](const auto& entry) { return entry.first == checked.Id; });
    TMailboxOutcome outcome = checked.Outcome;
    // A check that failed says nothing new of what waits: the icon keeps the last count.
    if (outcome.Failed() && found != outcomes_.end()) outcome.Count = found->second.Count;
    if (found == outcomes_.end())
        outcomes_.emplace_back(checked.Id, outcome);
    else
        found->second = outcome;
    round_->Checked.push_back(checked);
    // With several mailboxes each line shows as soon as it is known; the whole follows.
    if (settings_.Mailboxes.size() > 1 && !running_.empty()) emit TipChanged(Tip());
}

std::vector<TMailboxOutcome> TCheckCycle::Outcomes() const {
    std::vector<TMailboxOutcome> outcomes;
    for (const TMailbox& mailbox : settings_.Mailboxes) {
        auto found = std::find_if(outcomes_.begin(), outcomes_.end(),
                                  [&](const auto& entry) { return entry.first == mailbox.Id(); });
        TMailboxOutcome unknown;
        unknown.Pending = true;
        outcomes.push_back(found == outcomes_.end() ? unknown : found->second);
    }
    return outcomes;
}

std::string TCheckCycle::Tip() const {
    const std::vector<TMailboxOutcome> outcomes = Outcomes();
    // While a watch is down its mailbox's line says so; the headline still says what waits.
    std::vector<TMailboxOutcome> shown = outcomes;
    for (size_t i = 0; i < shown.size(); ++i)
        if (const auto down = down_.find(settings_.Mailboxes[i].Id()); down != down_.end())
            shown[i].Failure = down->second;
    if (settings_.Mailboxes.size() == 1) {
        if (down_.count(settings_.Mailboxes[0].Id()) != 0)
            return OutcomeHeadline(outcomes) + "\n" + Capitalized(shown[0].Failure);
        if (outcomes[0].Failed()) return Capitalized(outcomes[0].Failure);
    }
    std::vector<const TMailbox*> mailboxes;
    for (const TMailbox& mailbox : settings_.Mailboxes) mailboxes.push_back(&mailbox);
    const std::string tip = OutcomeTip(mailboxes, shown);
    const size_t lines = tip.find('\n');
    return lines == std::string::npos ? tip : OutcomeHeadline(outcomes) + tip.substr(lines);
}

int32_t TCheckCycle::Recount() {
    mailCount_ = 0;
    lastCheckFailed_ = false;
    int32_t waiting = 0;
    for (const TMailboxOutcome& outcome : Outcomes()) {
        mailCount_ += outcome.Count;
        if (!outcome.Failed()) waiting += outcome.Count;
        lastCheckFailed_ = lastCheckFailed_ || outcome.Failed();
    }
    return waiting;
}

void TCheckCycle::RoundEnded() {
    const TRound round = std::move(*round_);
    round_.reset();
    if (!round.Abandoned) ShowRound(round);
    if (!pending_ || round_) return;
    const TPending next = std::move(*pending_);
    pending_.reset();
    StartRound(next.Ids, next.Quiet, next.Nested);
}

void TCheckCycle::ShowRound(const TRound& round) {
    const int32_t waiting = Recount();
    bool anyReached = false;
    for (const TChecked& one : round.Checked) anyReached = anyReached || !one.Outcome.Failed();
    if (settings_.Mailboxes.size() == 1 && !anyReached && !round.Checked.empty()) {
        ShowFailureAlone(round.Checked.front(), round.Nested);
        return;
    }
    emit TipChanged(Tip());
    for (const TChecked& one : round.Checked)
        if (one.PasswordToType) emit PasswordToType(one.Id);
    if (!notifying_ && !round.Nested) {
        const FlagScope scope(notifying_);
        bool boxShown = false;
        for (const TChecked& one : round.Checked) {
            if (!one.ShowBox) continue;
            const TMailbox* mailbox = settings_.Find(one.Id);
            const bool named = settings_.Mailboxes.size() > 1 && mailbox;
            emit FailureShown(named ? mailbox->ShownName() + ": " + one.Detail : one.Detail);
            boxShown = true;
        }
        for (const TChecked& one : round.Checked)
            if (one.LeftFlagged) SayLeftFlagged(one.Id);
        if (waiting != 0)
            emit MailWaiting(waiting);
        else if (!round.Quiet && !boxShown && anyReached)
            emit NoMail();
    }
    BringBackFor(round.Checked);
}

// One mailbox that failed: while an outcome is being shown nothing more is shown, but a
// refused sign-in still brings the window back and stops the ticks.
void TCheckCycle::ShowFailureAlone(const TChecked& checked, bool nested) {
    if (checked.PasswordToType) emit PasswordToType(checked.Id);
    if (!notifying_ && !nested) {
        const FlagScope scope(notifying_);
        emit TipChanged(Tip());
        if (checked.ShowBox) emit FailureShown(checked.Detail);
    }
    BringBackFor({checked});
}

void TCheckCycle::BringBackFor(const std::vector<TChecked>& checked) {
    for (const TChecked& one : checked) {
        if (!one.BringBack) continue;
        emit MailboxNeedsUser(one.Id);
        emit UserNeeded(one.SignInAgainReason);
        // Until the user has mended it, a check asked for meanwhile would only be refused again.
        pending_.reset();
        Stop();
        return;
    }
}

void TCheckCycle::ShowNoMail(bool Quiet) {
    emit TipChanged(kNoMailText);
    if (Quiet || notifying_) return;
    const FlagScope scope(notifying_);
    emit NoMail();
}

void TCheckCycle::NotifyMail(int32_t count) {
    mailCount_ = count;
    emit TipChanged(kYouHaveMailText);
    if (notifying_) return;
    const FlagScope scope(notifying_);
    emit MailWaiting(count);
}

void TCheckCycle::Report(const Exception& e) {
    if (notifying_) return;
    const FlagScope scope(notifying_);
    emit TipChanged(ShownMessage(e));
    if (NeedsUser(e)) emit FailureShown(ShownDetail(e));
}

void TCheckCycle::Abandon(std::chrono::milliseconds grace) {
    StopWatches();
    pending_.reset();
    if (!round_) return;
    round_->Abandoned = true;
    // A copy: an abandoned check may end, and leave the list, at once.
    const std::vector<TMailboxCheck*> running = running_;
    for (TMailboxCheck* check : running) check->Abandon(grace);
}

bool TCheckCycle::Running() const {
    return round_.has_value();
}

bool TCheckCycle::WaitUntilIdle(std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (Running() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return !Running();
}

void TCheckCycle::Watch(TMailboxId id) {
    if (watches_.count(id) != 0 || std::find(noIdle_.begin(), noIdle_.end(), id) != noIdle_.end())
        return;
    const TMailbox* mailbox = settings_.Find(id);
    if (!mailbox || !mailbox->Unreadable.empty() ||
        mailbox->Connection.Protocol != TMailProtocol::Imap)
        return;
    auto* watch = new TImapWatch(credentials_, registry_ ? registry_->HivePath() : "", this);
    watch->Timing = WatchTiming;
    watch->PassMaker = WatchPass;
    watches_[id] = watch;
    connect(watch, &TImapWatch::Passed, this,
            [this, id](const TImapPassCounts& counts) { WatchPassed(id, counts); });
    connect(watch, &TImapWatch::Down, this,
            [this, id](const std::exception_ptr&, std::chrono::milliseconds pause) {
                WatchDown(id, pause);
            });
    connect(watch, &TImapWatch::Ended, this,
            [this, id](TImapWatchEnd why, const std::exception_ptr&) { WatchEnded(id, why); });
    watch->Start(settings_, *mailbox);
}

void TCheckCycle::WatchPassed(TMailboxId id, const TImapPassCounts& counts) {
    const TMailbox* mailbox = settings_.Find(id);
    if (!mailbox) return;
    down_.erase(id);
    auto found = std::find_if(outcomes_.begin(), outcomes_.end(),
                              [&](const auto& entry) { return entry.first == id; });
    const int32_t before = found == outcomes_.end() ? 0 : found->second.Count;
    TMailboxOutcome outcome;
    outcome.Count = static_cast<int32_t>(counts.UnseenLeft);
    outcome.Deleted = static_cast<int32_t>(counts.Removed);
    if (found == outcomes_.end())
        outcomes_.emplace_back(id, outcome);
    else
        found->second = outcome;
    const int32_t waiting = Recount();
    emit TipChanged(Tip());
    if (notifying_) return;
    const FlagScope scope(notifying_);
    if (counts.LeftFlagged) SayLeftFlagged(id);
    // New mail kept: shown as a check that found mail shows it.
    if (outcome.Count > before) emit MailWaiting(waiting);
}

void TCheckCycle::WatchDown(TMailboxId id, std::chrono::milliseconds pause) {
    down_[id] = WatchDownText(pause);
    emit TipChanged(Tip());
}

void TCheckCycle::WatchEnded(TMailboxId id, TImapWatchEnd why) {
    const auto found = watches_.find(id);
    if (found == watches_.end()) return;
    found->second->deleteLater();
    watches_.erase(found);
    if (why == TImapWatchEnd::NoIdle) noIdle_.push_back(id);
    if (down_.erase(id) != 0) emit TipChanged(Tip());
}

void TCheckCycle::StopWatches() {
    for (const auto& [id, watch] : watches_) {
        watch->disconnect(this);
        watch->Stop();
        watch->deleteLater();
    }
    watches_.clear();
    down_.clear();
    noIdle_.clear();
}

void TCheckCycle::SayLeftFlagged(TMailboxId id) {
    const TMailbox* mailbox = settings_.Find(id);
    if (!mailbox ||
        std::find(leftFlaggedSaid_.begin(), leftFlaggedSaid_.end(), id) != leftFlaggedSaid_.end())
        return;
    leftFlaggedSaid_.push_back(id);
    emit FailureShown(LeftFlaggedText(*mailbox));
}
