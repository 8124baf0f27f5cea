#include "app/dry_run_worker.h"

#include <QTimer>
#include <atomic>

#include "app/credential_source.h"
#include "app/imap_session.h"
#include "app/settings.h"
#include "filter/imap_dry_run.h"
#include "net/imap_cancellable.h"
#include "net/pop3_cancellable.h"

namespace {
// How often the progress the worker reports is shown.
constexpr int kProgressMs = 100;
}  // namespace

// Shared with the worker, which may outlive this object when it is stuck in a name lookup.
// Progress crosses as two counters the GUI thread polls, so the worker never posts to an
// object that may be gone.
struct TDryRunWorker::TShared {
    TCancellablePop3 Pop3;
    TCancellableImap Imap;  // for an IMAP mailbox, instead of Pop3
    TStringList KillList;
    TMatchOptions Options;
    TDryRunAccount Account;
    std::atomic<size_t> Read{0};
    std::atomic<size_t> ToRead{0};
    TDryRunOutcome Outcome;

    void Run() {
        const TDryRunProgress progress = [this](size_t read, size_t toRead) {
            ToRead = toRead;
            Read = read;
        };
        try {
            if (Account.Connection.Protocol == TMailProtocol::Imap) {
                TMailbox mailbox;
                mailbox.Connection = Account.Connection;
                mailbox.User = Account.User;
                OpenImapSession(Imap, mailbox, {Account.Secret});
                TImapDryRun run = ImapDryRun(Imap, Account.Folder, KillList, Options, progress);
                Outcome.Rows = std::move(run.Rows);
                Outcome.NotRead = run.NotRead;
                return;
            }
            Pop3.Use(Account.Connection);
            Pop3.UserName = Account.User;
            UseCredential(Pop3, {Account.Secret});
            Outcome.Rows = DryRun(Pop3, KillList, Options, progress);
        } catch (...) {
            Outcome.Failure = std::current_exception();
        }
    }
    void Cancel() {
        Pop3.Cancel();
        Imap.Cancel();
    }
};

TDryRunWorker::TDryRunWorker(QObject* parent) : QObject(parent), progressTimer_(new QTimer(this)) {
    progressTimer_->setInterval(kProgressMs);
    connect(progressTimer_, &QTimer::timeout, this, [this] { ReportProgress(); });
    connect(&worker_, &TWorkerThread::Finished, this, [this](bool stopped) { Finished(stopped); });
}

void TDryRunWorker::Start(const TDryRunAccount& account, const TStringList& killList,
                          const TMatchOptions& options) {
    if (Running()) return;
    auto shared = std::make_shared<TShared>();
    shared->Account = account;
    shared->KillList = killList;
    shared->Options = options;
    shared_ = shared;
    shownRead_ = shownToRead_ = 0;
    // Nothing but the shared state crosses to the worker; exceptions come back as values.
    worker_.Start([shared] { shared->Run(); }, [shared] { shared->Cancel(); });
    progressTimer_->start();
}

void TDryRunWorker::Stop() {
    worker_.Stop();
}

void TDryRunWorker::ReportProgress() {
    const size_t toRead = shared_->ToRead;
    const size_t read = shared_->Read;
    if (read == shownRead_ && toRead == shownToRead_) return;
    shownRead_ = read;
    shownToRead_ = toRead;
    emit Progress(read, toRead);
}

void TDryRunWorker::Finished(bool stopped) {
    progressTimer_->stop();
    const std::shared_ptr<TShared> shared = std::move(shared_);
    shared->Outcome.Stopped = stopped;
    emit Ended(shared->Outcome);
}
