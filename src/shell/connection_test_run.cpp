#include "shell/connection_test_run.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {
// How long closing the dialog waits for a cancelled probe's thread.
constexpr int kStopWaitMs = 2000;
}  // namespace

// Shared with the worker, which may outlive this object when it is stuck in a name lookup.
struct TConnectionTestRun::TShared {
    TPop3Probe Probe;
    TConnectionTestResult Result;
};

TConnectionTestRun::TConnectionTestRun(QObject* parent) : QObject(parent) {}

TConnectionTestRun::~TConnectionTestRun() {
    if (!thread_) return;
    Stop();
    disconnect(thread_, nullptr, this, nullptr);
    if (thread_->wait(QDeadlineTimer(kStopWaitMs))) {
        delete thread_;
        return;
    }
    connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
}

void TConnectionTestRun::Start(const std::function<void(TPop3Probe&)>& setup) {
    if (thread_) return;
    auto shared = std::make_shared<TShared>();
    setup(shared->Probe);
    shared->Result.Host = shared->Probe.Hostname;
    // Nothing but the probe and its result cross to the worker; exceptions come back as values.
    thread_ = QThread::create([shared] {
        try {
            shared->Result.Report = shared->Probe.Run();
        } catch (...) {
            shared->Result.Failure = std::current_exception();
        }
    });
    shared_ = std::move(shared);
    stopped_ = false;
    connect(thread_, &QThread::finished, this, [this] { Finished(); });
    thread_->start();
}

void TConnectionTestRun::Stop() {
    if (!thread_ || stopped_) return;
    stopped_ = true;
    shared_->Probe.Cancel();
}

void TConnectionTestRun::Finished() {
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    const std::shared_ptr<TShared> shared = std::move(shared_);
    shared->Result.Stopped = stopped_;
    if (OnEnd) OnEnd(shared->Result);
}
