#pragma once

// One check of one mailbox: its credential is got on this object's thread (the keyring and a
// token refresh wait in a local event loop there), its session runs on a thread of its own (the
// POP3 session, or RunImapCheckSession for an IMAP mailbox), and its outcome comes back here. So no
// window waits on a server, and mailboxes are checked side by side, each with its own client.

#include <QObject>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "app/credential_source.h"
#include "app/settings.h"
#include "app/worker_thread.h"

class QTimer;
class TPop3;
class TRegistry;

// What a session did: the messages it listed and how many of them are left. For IMAP, Left is
// the unseen messages left in the folder and Listed those and the ones removed.
struct TSessionCounts {
    int32_t Listed = 0;
    int32_t Left = 0;
    int32_t Deleted() const { return Listed - Left; }
};

// Connects, signs in with the credential, lists, then examines, logs and deletes: the whole
// session of one check, on the calling thread. signedIn tells how far a failure got. Raises what
// the client and the pass raise.
TSessionCounts RunCheckSession(TPop3& pop3, TRegistry& registry, const TSettings& settings,
                               const TMailbox& mailbox, const TCredential& credential,
                               bool& signedIn);

struct TMailboxCheckResult {
    TSessionCounts Counts;
    std::exception_ptr Failure;  // null when the check reached its outcome
    bool SignedIn = false;       // the server accepted the sign-in
    bool Abandoned = false;      // Abandon was called: nothing of it is to be shown
    // IMAP: the server could neither expunge by UID nor move, so the condemned are left flagged
    // \Deleted (to be said once).
    bool LeftFlagged = false;
};

class TMailboxCheck : public QObject {
    Q_OBJECT
  public:
    // credentials must outlive this object; hivePath is the hive the session reads the kill
    // list from.
    TMailboxCheck(TCredentialSource& credentials, std::string hivePath, QObject* parent = nullptr);
    ~TMailboxCheck() override;

    // Starts the check of the mailbox with the shared settings; Finished follows (also when the
    // credential cannot be had). Nothing when one is running.
    void Start(const TSettings& settings, const TMailbox& mailbox);
    // Gives up the running check: a session that has sent no deletion is closed at once
    // without logging out, so the server deletes nothing for it; one that has gets at most
    // grace to end with its logout, which makes its deletions final. Finished follows, marked.
    void Abandon(std::chrono::milliseconds grace);
    bool Running() const { return running_; }
    const TMailbox& Mailbox() const { return mailbox_; }

  signals:
    // On this thread, as the session goes to its worker with the credential it signs in with.
    void SessionStarting(const TCredential& credential);
    void Finished(const TMailboxCheckResult& result);

  private:
    struct TShared;
    // The credential, then the session on the worker.
    void Begin();
    void RunSession(TCredential credential);
    void SessionEnded();
    // A refused token of the held sign-in is renewed once and the session runs again.
    bool RenewAfterRefusal(const TMailboxCheckResult& result);
    void End(TMailboxCheckResult result);

    TCredentialSource& credentials_;
    std::string hivePath_;
    TSettings settings_;
    TMailbox mailbox_;
    std::shared_ptr<TShared> shared_;
    TWorkerThread worker_;
    QTimer* grace_;
    bool running_ = false;
    bool renewed_ = false;
    bool renewable_ = false;  // the session's credential is a token of the held sign-in
    bool abandoned_ = false;
};
