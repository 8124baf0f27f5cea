#include "app/mailbox_check.h"

#include <QPointer>
#include <QTimer>

#include "app/check_session.h"
#include "app/failure_kind.h"
#include "app/imap_check_session.h"
#include "net/imap_cancellable.h"
#include "net/pop3_cancellable.h"
#include "platform/registry.h"

// Shared with the worker, which may outlive the check when it is stuck in a name lookup.
struct TMailboxCheck::TShared {
    TCancellablePop3 Pop3;
    TCancellableImap Imap;  // for an IMAP mailbox, instead of Pop3
    TSettings Settings;
    TMailbox Mailbox;
    std::string HivePath;
    TCredential Credential;
    TMailboxCheckResult Result;

    void Run() {
        try {
            TRegistry registry(HivePath);
            if (Mailbox.Connection.Protocol == TMailProtocol::Imap)
                RunImapCheckSession(Imap, registry, Settings, Mailbox, Credential, Result);
            else
                Result.Counts =
                    RunCheckSession(Pop3, registry, Settings, Mailbox, Credential, Result.SignedIn);
        } catch (...) {
            Result.Failure = std::current_exception();
        }
    }
    // The client not in use was never connected: these change nothing for it.
    void Cancel() {
        Pop3.Cancel();
        Imap.Cancel();
    }
    void RequestStop() {
        Pop3.RequestStop();
        Imap.RequestStop();
    }
    bool SentDeletions() const { return Pop3.SentDeletions() || Imap.SentDeletions(); }
};

TSessionCounts RunCheckSession(TPop3& pop3, TRegistry& registry, const TSettings& settings,
                               const TMailbox& mailbox, const TCredential& credential,
                               bool& signedIn) {
    signedIn = false;
    PrepareSession(pop3, mailbox);
    UseCredential(pop3, credential);
    TCheckSession session(pop3, registry, settings, mailbox);
    session.Login();
    signedIn = true;
    TSessionCounts counts;
    counts.Listed = session.Listed();
    counts.Left = counts.Listed;
    session.Run(counts.Left);
    return counts;
}

TMailboxCheck::TMailboxCheck(TCredentialSource& credentials, std::string hivePath, QObject* parent)
    : QObject(parent),
      credentials_(credentials),
      hivePath_(std::move(hivePath)),
      grace_(new QTimer(this)) {
    grace_->setSingleShot(true);
    connect(grace_, &QTimer::timeout, this, [this] {
        if (shared_) shared_->Cancel();
    });
    connect(&worker_, &TWorkerThread::Finished, this, [this](bool) { SessionEnded(); });
}

TMailboxCheck::~TMailboxCheck() {
    // A session still running is cut off at once; its worker ends by itself.
    if (shared_) shared_->Cancel();
}

void TMailboxCheck::Start(const TSettings& settings, const TMailbox& mailbox) {
    if (running_) return;
    running_ = true;
    renewed_ = false;
    abandoned_ = false;
    settings_ = settings;
    mailbox_ = mailbox;
    Begin();
}

void TMailboxCheck::Begin() {
    TCredential credential;
    const QPointer<TMailboxCheck> alive(this);
    try {
        credential = credentials_.For(mailbox_);
    } catch (...) {
        if (!alive) return;
        TMailboxCheckResult result;
        result.Failure = std::current_exception();
        End(result);
        return;
    }
    // The credential may have waited in an event loop, where anything can have happened.
    if (!alive) return;
    if (abandoned_) {
        End({});
        return;
    }
    RunSession(std::move(credential));
}

void TMailboxCheck::RunSession(TCredential credential) {
    renewable_ = credential.Renewable || renewed_;
    auto shared = std::make_shared<TShared>();
    shared->Settings = settings_;
    shared->Mailbox = mailbox_;
    shared->HivePath = hivePath_;
    shared->Credential = std::move(credential);
    shared_ = shared;
    emit SessionStarting(shared->Credential);
    worker_.Start([shared] { shared->Run(); }, [shared] { shared->Cancel(); });
}

void TMailboxCheck::Abandon(std::chrono::milliseconds grace) {
    if (!running_ || abandoned_) return;
    abandoned_ = true;
    if (!shared_) return;  // still getting its credential: ends when that returns
    shared_->RequestStop();
    if (shared_->SentDeletions() && grace.count() > 0)
        grace_->start(static_cast<int>(grace.count()));
    else
        shared_->Cancel();
}

void TMailboxCheck::SessionEnded() {
    grace_->stop();
    const std::shared_ptr<TShared> shared = std::move(shared_);
    TMailboxCheckResult result = shared->Result;
    if (!abandoned_ && RenewAfterRefusal(result)) return;
    End(std::move(result));
}

bool TMailboxCheck::RenewAfterRefusal(const TMailboxCheckResult& result) {
    if (!renewable_ || !IsSignInRefusal(result.Failure)) return false;
    const QPointer<TMailboxCheck> alive(this);
    TMailboxCheckResult failed = result;
    try {
        if (renewed_) credentials_.RefusedAgain(mailbox_);  // raises ESignInAgain
        renewed_ = true;
        TCredential renewed = credentials_.Renewed(mailbox_);
        if (!alive) return true;
        if (abandoned_) {
            End({});
            return true;
        }
        RunSession(std::move(renewed));
        return true;
    } catch (...) {
        if (!alive) return true;
        failed.Failure = std::current_exception();
    }
    End(std::move(failed));
    return true;
}

void TMailboxCheck::End(TMailboxCheckResult result) {
    result.Abandoned = abandoned_;
    running_ = false;
    // Always from the event loop, never from within Start: whoever started it may be in the
    // middle of starting others.
    QMetaObject::invokeMethod(
        this, [this, result] { emit Finished(result); }, Qt::QueuedConnection);
}
