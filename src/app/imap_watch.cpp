#include "app/imap_watch.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "app/failure_kind.h"
#include "app/imap_session.h"
#include "base/exception.h"
#include "net/imap_cancellable.h"
#include "net/net_errors.h"
#include "platform/registry.h"

namespace {

class TRealWatchPass : public TWatchPass {
  public:
    TRealWatchPass(TImap& imap, TRegistry& registry, TImapPassSettings settings)
        : pass_(imap, registry, std::move(settings)) {}
    void Open() override { pass_.Open(); }
    TImapPassCounts Run() override { return pass_.Run(); }

  private:
    TImapPass pass_;
};

}  // namespace

std::unique_ptr<TWatchPass> MakeImapWatchPass(TImap& imap, TRegistry& registry,
                                              const TSettings& settings, const TMailbox& mailbox) {
    return std::make_unique<TRealWatchPass>(imap, registry, ImapPassSettingsOf(settings, mailbox));
}

// One connection's life, shared with its worker, which may outlive the watch when it is stuck
// in a name lookup.
struct TImapWatch::TShared : std::enable_shared_from_this<TShared> {
    TCancellableImap Imap;
    TSettings Settings;
    TMailbox Mailbox;
    std::string HivePath;
    TCredential Credential;
    TWatchPassMaker Maker;
    TImapWatchTiming Timing;
    std::exception_ptr Failure;
    bool SignedIn = false;
    bool NoIdle = false;
    // The watch the counts go to; null once it has let this connection go.
    std::mutex OwnerMutex;
    TImapWatch* Owner = nullptr;

    void Run() {
        try {
            Watch();
        } catch (...) {
            Failure = std::current_exception();
        }
    }

    void Disown() {
        const std::lock_guard lock(OwnerMutex);
        Owner = nullptr;
    }

  private:
    void Watch() {
        TRegistry registry(HivePath);
        OpenImapSession(Imap, Mailbox, Credential);
        SignedIn = true;
        if (!Imap.Offers("IDLE")) {
            NoIdle = true;
            Imap.Logout();
            return;
        }
        const std::unique_ptr<TWatchPass> pass = Maker(Imap, registry, Settings, Mailbox);
        pass->Open();
        // What came before the watch began is examined at once: the gap since the last check.
        uint64_t handled = Imap.News.ExistsSeen;
        bool more = RunPass(*pass);
        for (;;) {
            // Mail announced during a pass (or during DONE) may have come after its search; a
            // pass that stopped at its bound goes on at once.
            while (more || Imap.News.ExistsSeen != handled) {
                handled = Imap.News.ExistsSeen;
                more = RunPass(*pass);
            }
            if (!EnterIdle()) return;
            WaitInIdle();
            Imap.Done();
        }
    }

    // One pass, its counts reported; whether more messages wait than it examined.
    bool RunPass(TWatchPass& pass) {
        const TImapPassCounts counts = pass.Run();
        Report(counts);
        return counts.MoreWaiting;
    }

    // IDLE; a server that refuses it is taken as one without it.
    bool EnterIdle() {
        try {
            Imap.Idle();
            return true;
        } catch (const EProtocolError& e) {
            if (e.ErrorCode != kRefusedReply) throw;
        }
        NoIdle = true;
        Imap.Logout();
        return false;
    }

    // Until the server announces new mail, ends IDLE itself, or IDLE is due for renewal.
    void WaitInIdle() {
        using namespace std::chrono;
        const auto renewAt = steady_clock::now() + Timing.RenewIdle;
        while (Imap.Idling()) {
            const auto left = duration_cast<milliseconds>(renewAt - steady_clock::now());
            if (left.count() <= 0) return;
            const auto slice = std::min(left, Timing.IdleSlice);
            if (Imap.IdleWait(static_cast<int>(slice.count()))) return;
        }
    }

    void Report(const TImapPassCounts& counts) {
        const std::lock_guard lock(OwnerMutex);
        if (Owner == nullptr) return;
        TImapWatch* owner = Owner;
        QMetaObject::invokeMethod(
            owner,
            [owner, from = shared_from_this(), counts] { owner->PassReported(from, counts); },
            Qt::QueuedConnection);
    }
};

TImapWatch::TImapWatch(TCredentialSource& credentials, std::string hivePath, QObject* parent)
    : QObject(parent),
      credentials_(credentials),
      hivePath_(std::move(hivePath)),
      pause_(new QTimer(this)) {
    pause_->setSingleShot(true);
    connect(pause_, &QTimer::timeout, this, [this] { Begin(); });
    connect(&worker_, &TWorkerThread::Finished, this, [this](bool) { SessionEnded(); });
}

TImapWatch::~TImapWatch() {
    Stop();
}

void TImapWatch::Start(const TSettings& settings, const TMailbox& mailbox) {
    if (running_ || shared_) return;
    running_ = true;
    settings_ = settings;
    mailbox_ = mailbox;
    nextPause_ = Timing.FirstPause;
    Begin();
}

void TImapWatch::Stop() {
    running_ = false;
    pause_->stop();
    if (!shared_) return;
    shared_->Disown();
    shared_->Imap.Cancel();
}

void TImapWatch::Begin() {
    TCredential credential;
    const QPointer<TImapWatch> alive(this);
    try {
        credential = credentials_.For(mailbox_);
    } catch (...) {
        if (!alive || !running_) return;
        const std::exception_ptr failure = std::current_exception();
        if (NeedsUser(failure))
            Finish(TImapWatchEnd::NeedsUser, failure);
        else
            Retry(failure);
        return;
    }
    // The credential may have waited in an event loop, where anything can have happened.
    if (!alive || !running_) return;
    renewed_ = false;
    Connect(std::move(credential));
}

void TImapWatch::Connect(TCredential credential) {
    renewable_ = credential.Renewable || renewed_;
    auto shared = std::make_shared<TShared>();
    shared->Settings = settings_;
    shared->Mailbox = mailbox_;
    shared->HivePath = hivePath_;
    shared->Credential = std::move(credential);
    shared->Maker = PassMaker;
    shared->Timing = Timing;
    shared->Owner = this;
    shared_ = shared;
    worker_.Start([shared] { shared->Run(); }, [shared] { shared->Imap.Cancel(); });
}

void TImapWatch::SessionEnded() {
    const std::shared_ptr<TShared> shared = std::move(shared_);
    if (!shared || !running_) return;
    shared->Disown();
    if (shared->NoIdle) {
        Finish(TImapWatchEnd::NoIdle, nullptr);
        return;
    }
    const std::exception_ptr failure = shared->Failure;
    if (!failure) return;  // the loop only ends by a failure
    if (!shared->SignedIn && RenewAfterRefusal(failure)) return;
    if (NeedsUser(failure))
        Finish(TImapWatchEnd::NeedsUser, failure);
    else
        Retry(failure);
}

bool TImapWatch::RenewAfterRefusal(const std::exception_ptr& failure) {
    if (!renewable_ || renewed_ || !IsSignInRefusal(failure)) return false;
    const QPointer<TImapWatch> alive(this);
    renewed_ = true;
    TCredential renewed;
    try {
        renewed = credentials_.Renewed(mailbox_);
    } catch (...) {
        if (alive && running_) Finish(TImapWatchEnd::NeedsUser, std::current_exception());
        return true;
    }
    if (alive && running_) Connect(std::move(renewed));
    return true;
}

void TImapWatch::Retry(const std::exception_ptr& failure) {
    const std::chrono::milliseconds pause = nextPause_;
    nextPause_ = std::min(nextPause_ * 2, Timing.MaxPause);
    pause_->start(pause);
    emit Down(failure, pause);
}

void TImapWatch::Finish(TImapWatchEnd why, const std::exception_ptr& failure) {
    running_ = false;
    emit Ended(why, failure);
}

void TImapWatch::PassReported(const std::shared_ptr<TShared>& from, const TImapPassCounts& counts) {
    if (from != shared_ || !running_) return;
    // The connection works again: a later drop starts over with the shortest pause.
    nextPause_ = Timing.FirstPause;
    emit Passed(counts);
}
