#pragma once

// One "Test connection" on a worker thread with its own probe, so that the dialog stays
// usable while the server is slow to answer; Stop ends the wait at once.

#include <QObject>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/credential_source.h"
#include "app/worker_thread.h"
#include "net/probe_report.h"

struct TMailbox;

struct TConnectionTestResult {
    std::string Host;
    TProbeReport Report;
    std::exception_ptr Failure;  // what the probe raised, to be judged on the GUI thread
    bool Stopped = false;        // Stop was called: the findings mean nothing
};

class TConnectionTestRun : public QObject {
    Q_OBJECT
  public:
    // Destroying it stops a running test and waits briefly for its thread (TWorkerThread).
    explicit TConnectionTestRun(QObject* parent = nullptr);

    // Starts a probe of the mailbox's server as its protocol speaks (IMAP also looks at its
    // folder); with a credential it signs in as the mailbox's user. Nothing when one is
    // running. A connection that cannot be used fails the test without connecting.
    void Start(const TMailbox& mailbox, const std::optional<TCredential>& credential);
    // Cancels the running probe; Ended follows promptly, marked as stopped.
    void Stop();
    bool Running() const { return worker_.Running(); }

  signals:
    // On this object's thread once the probe has ended (Running is false by then).
    void Ended(const TConnectionTestResult& result);

  private:
    struct TShared;
    void Finished(bool stopped);

    std::shared_ptr<TShared> shared_;
    TWorkerThread worker_;
};
