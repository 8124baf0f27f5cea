#pragma once

// Runs one piece of work on its own thread and reports its end on this object's thread, so
// that a window stays usable while a server is slow. The work keeps whatever it touches alive
// itself (a shared_ptr it captures): a thread stuck in a name lookup cannot be cancelled and
// may outlive this object.

#include <QObject>
#include <functional>

class QThread;

class TWorkerThread : public QObject {
    Q_OBJECT
  public:
    explicit TWorkerThread(QObject* parent = nullptr);
    // Stops running work and waits briefly for its thread; a thread that does not end in time
    // is left to delete itself when it does, and Finished is not signalled.
    ~TWorkerThread() override;

    // Runs work on a new thread; cancel is what Stop calls to end it early. Nothing when work
    // is running.
    void Start(std::function<void()> work, std::function<void()> cancel);
    // Cancels the running work, once; Finished follows when the work returns.
    void Stop();
    bool Running() const { return thread_ != nullptr; }

  signals:
    // On this object's thread once the work has returned (Running is false by then), with
    // whether Stop was called.
    void Finished(bool stopped);

  private:
    void ThreadEnded();

    QThread* thread_ = nullptr;
    std::function<void()> cancel_;
    bool stopped_ = false;
};
