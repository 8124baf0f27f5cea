#include "app/connection_test_run.h"

#include "app/imap_session.h"
#include "app/settings.h"
#include "net/imap_probe.h"
#include "net/pop3_probe.h"

// Shared with the worker, which may outlive this object when it is stuck in a name lookup.
struct TConnectionTestRun::TShared {
    TPop3Probe Probe;
    TImapProbe ImapProbe;  // for an IMAP mailbox, instead of Probe
    bool Imap = false;
    std::exception_ptr SetupFailure;  // the connection could not be used: nothing is sent
    TConnectionTestResult Result;

    void Prepare(const TMailbox& mailbox, const std::optional<TCredential>& credential) {
        Imap = mailbox.Connection.Protocol == TMailProtocol::Imap;
        Result.Host = mailbox.Connection.Host;
        try {
            if (Imap) {
                PrepareImapSession(ImapProbe, mailbox, credential.value_or(TCredential{}));
                ImapProbe.SignIn = credential.has_value();
                ImapProbe.Folder = mailbox.Folder;
                return;
            }
            Probe.Use(mailbox.Connection);
            if (!credential) return;
            Probe.SignIn = true;
            Probe.UserName = mailbox.User;
            UseCredential(Probe, *credential);
        } catch (...) {
            SetupFailure = std::current_exception();
        }
    }
    void Run() {
        try {
            if (SetupFailure) std::rethrow_exception(SetupFailure);
            Result.Report = Imap ? ImapProbe.Run() : Probe.Run();
        } catch (...) {
            Result.Failure = std::current_exception();
        }
    }
    void Cancel() {
        Probe.Cancel();
        ImapProbe.Cancel();
    }
};

TConnectionTestRun::TConnectionTestRun(QObject* parent) : QObject(parent) {
    connect(&worker_, &TWorkerThread::Finished, this, [this](bool stopped) { Finished(stopped); });
}

void TConnectionTestRun::Start(const TMailbox& mailbox,
                               const std::optional<TCredential>& credential) {
    if (Running()) return;
    auto shared = std::make_shared<TShared>();
    shared->Prepare(mailbox, credential);
    shared_ = shared;
    // Nothing but the probes and the result cross to the worker; exceptions come back as values.
    worker_.Start([shared] { shared->Run(); }, [shared] { shared->Cancel(); });
}

void TConnectionTestRun::Stop() {
    worker_.Stop();
}

void TConnectionTestRun::Finished(bool stopped) {
    const std::shared_ptr<TShared> shared = std::move(shared_);
    shared->Result.Stopped = stopped;
    emit Ended(shared->Result);
}
