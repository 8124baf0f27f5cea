#include "app/connection_test_run.h"

// Shared with the worker, which may outlive this object when it is stuck in a name lookup.
struct TConnectionTestRun::TShared {
    TPop3Probe Probe;
    TConnectionTestResult Result;
};

TConnectionTestRun::TConnectionTestRun(QObject* parent) : QObject(parent) {
    connect(&worker_, &TWorkerThread::Finished, this, [this](bool stopped) { Finished(stopped); });
}

void TConnectionTestRun::Start(const std::function<void(TPop3Probe&)>& setup) {
    if (Running()) return;
    auto shared = std::make_shared<TShared>();
    setup(shared->Probe);
    shared->Result.Host = shared->Probe.Hostname;
    shared_ = shared;
    // Nothing but the probe and its result cross to the worker; exceptions come back as values.
    worker_.Start(
        [shared] {
            try {
                shared->Result.Report = shared->Probe.Run();
            } catch (...) {
                shared->Result.Failure = std::current_exception();
            }
        },
        [shared] { shared->Probe.Cancel(); });
}

void TConnectionTestRun::Stop() {
    worker_.Stop();
}

void TConnectionTestRun::Finished(bool stopped) {
    const std::shared_ptr<TShared> shared = std::move(shared_);
    shared->Result.Stopped = stopped;
    emit Ended(shared->Result);
}
