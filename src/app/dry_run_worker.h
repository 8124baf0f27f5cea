#pragma once

// One dry run of the kill list on a worker thread with its own POP3 or IMAP client, so that
// the editor stays usable while the mailbox is read; Stop ends the session at once.

#include <QObject>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/worker_thread.h"
#include "base/string_list.h"
#include "filter/dry_run.h"
#include "filter/match_options.h"
#include "net/connection.h"

class QTimer;

// Where and as whom a dry run signs in: the main window's server and user, and the credential
// a check would take (TCredentialSource), got before the run starts.
struct TDryRunAccount {
    TConnection Connection;  // its Protocol chooses the POP3 or the IMAP dry run
    std::string User;
    std::string Secret;  // the password, or with OAuth2 the access token
    std::string Folder;  // IMAP: the folder a check guards, as the user wrote it
};

struct TDryRunOutcome {
    std::vector<TDryRunRow> Rows;
    size_t NotRead = 0;          // IMAP: found but past the bound on what one run reads
    std::exception_ptr Failure;  // what the run raised, to be shown on the GUI thread
    bool Stopped = false;        // Stop was called: the rows mean nothing
};

class TDryRunWorker : public QObject {
    Q_OBJECT
  public:
    // Destroying it stops a running dry run and waits briefly for its thread (TWorkerThread).
    explicit TDryRunWorker(QObject* parent = nullptr);

    // Starts a dry run; nothing when one is running.
    void Start(const TDryRunAccount& account, const TStringList& killList,
               const TMatchOptions& options);
    // Cancels the running dry run; Ended follows promptly, marked as stopped.
    void Stop();
    bool Running() const { return worker_.Running(); }

  signals:
    // On this object's thread: as the messages are read, and once the run has ended (Running
    // is false by then).
    void Progress(size_t read, size_t toRead);
    void Ended(const TDryRunOutcome& outcome);

  private:
    struct TShared;
    void ReportProgress();
    void Finished(bool stopped);

    QTimer* progressTimer_;
    std::shared_ptr<TShared> shared_;
    TWorkerThread worker_;
    size_t shownRead_ = 0;
    size_t shownToRead_ = 0;
};
