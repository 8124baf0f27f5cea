#include "app/worker_thread.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {
// How long closing a window waits for cancelled work's thread.
constexpr int kStopWaitMs = 2000;
}  // namespace

TWorkerThread::TWorkerThread(QObject* parent) : QObject(parent) {}

TWorkerThread::~TWorkerThread() {
    if (!thread_) return;
    Stop();
    disconnect(thread_, nullptr, this, nullptr);
    if (thread_->wait(QDeadlineTimer(kStopWaitMs))) {
        delete thread_;
        return;
    }
    connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
    // It may have ended between the wait and the connection; a second deleteLater is harmless.
    if (thread_->isFinished()) thread_->deleteLater();
}

void TWorkerThread::Start(std::function<void()> work, std::function<void()> cancel) {
    if (thread_) return;
    thread_ = QThread::create(std::move(work));
    cancel_ = std::move(cancel);
    stopped_ = false;
    connect(thread_, &QThread::finished, this, [this] { ThreadEnded(); });
    thread_->start();
}

void TWorkerThread::Stop() {
    if (!thread_ || stopped_) return;
    stopped_ = true;
    if (cancel_) cancel_();
}

void TWorkerThread::ThreadEnded() {
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    cancel_ = nullptr;
    // A receiver may delete this object or start the next work: nothing follows the emit.
    emit Finished(stopped_);
}
