#pragma once

// An IMAP mailbox guarded while mail arrives: one connection of its own, beside this thread,
// waits in IDLE on the folder and runs a pass as soon as the server announces new mail. The
// credential is got on this object's thread (the keyring and a token refresh wait in a local
// event loop there) for each connection; the pass counts come back here. A connection that
// drops is made again after growing pauses; a server without IDLE, or a failure only the user
// can mend (a refused sign-in above all), ends the watch and leaves the mailbox to the checks
// at the interval, which say what is wrong.

#include <QObject>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/credential_source.h"
#include "app/settings.h"
#include "app/worker_thread.h"
#include "filter/imap_pass.h"

class QTimer;
class TImap;
class TRegistry;

// The pass a watch runs on its connection: the folder opened once, then a pass per Run.
class TWatchPass {
  public:
    virtual ~TWatchPass() = default;
    virtual void Open() = 0;
    virtual TImapPassCounts Run() = 0;
};

// Makes the pass for a signed-in connection, on the watch's worker thread.
using TWatchPassMaker = std::function<std::unique_ptr<TWatchPass>(
    TImap& imap, TRegistry& registry, const TSettings& settings, const TMailbox& mailbox)>;

// The real pass: TImapPass with the mailbox's folder and the shared log and match options.
std::unique_ptr<TWatchPass> MakeImapWatchPass(TImap& imap, TRegistry& registry,
                                              const TSettings& settings, const TMailbox& mailbox);

struct TImapWatchTiming {
    // The longest one wait in IDLE lasts before the worker looks at the clock again.
    std::chrono::milliseconds IdleSlice = std::chrono::minutes(1);
    // IDLE is ended and begun again this long after it began: servers end it after 30 minutes.
    std::chrono::milliseconds RenewIdle = std::chrono::minutes(28);
    // The pause after the first failed connection; each further one doubles it, up to MaxPause.
    std::chrono::milliseconds FirstPause = std::chrono::seconds(5);
    std::chrono::milliseconds MaxPause = std::chrono::minutes(5);
};

// Why a watch ended by itself.
enum class TImapWatchEnd {
    NoIdle,     // the server does not offer IDLE, or refuses it
    NeedsUser,  // a failure only the user can mend: a refused sign-in (after one renewal of a
                // held token), no credential, an untrusted certificate, a folder refused...
};

class TImapWatch : public QObject {
    Q_OBJECT
  public:
    // credentials must outlive this object; hivePath is the hive the passes read the kill list
    // from.
    TImapWatch(TCredentialSource& credentials, std::string hivePath, QObject* parent = nullptr);
    // Cuts the connection off at once.
    ~TImapWatch() override;

    // Starts watching the mailbox with these settings, which hold for the whole watch. Once.
    void Start(const TSettings& settings, const TMailbox& mailbox);
    // Ends the watch at once: the connection is cut, nothing more is signalled.
    void Stop();
    bool Running() const { return running_; }
    const TMailbox& Mailbox() const { return mailbox_; }

    // For tests and the bench; set before Start.
    TImapWatchTiming Timing;
    TWatchPassMaker PassMaker = MakeImapWatchPass;

  signals:
    // A pass ran: at once after each sign-in, then after each announcement of new mail.
    void Passed(const TImapPassCounts& counts);
    // The connection failed or dropped; the next try follows after pause.
    void Down(const std::exception_ptr& failure, std::chrono::milliseconds pause);
    // The watch ended by itself (Running is false by then).
    void Ended(TImapWatchEnd why, const std::exception_ptr& failure);

  private:
    struct TShared;
    // The credential, then the connection on the worker.
    void Begin();
    void Connect(TCredential credential);
    void SessionEnded();
    // A refused token of the held sign-in is renewed once and the connection made again.
    bool RenewAfterRefusal(const std::exception_ptr& failure);
    void Retry(const std::exception_ptr& failure);
    void Finish(TImapWatchEnd why, const std::exception_ptr& failure);
    void PassReported(const std::shared_ptr<TShared>& from, const TImapPassCounts& counts);

    TCredentialSource& credentials_;
    std::string hivePath_;
    TSettings settings_;
    TMailbox mailbox_;
    std::shared_ptr<TShared> shared_;
    TWorkerThread worker_;
    QTimer* pause_;
    std::chrono::milliseconds nextPause_{0};
    bool running_ = false;
    bool renewed_ = false;
    bool renewable_ = false;  // the connection's credential is a token of the held sign-in
};
