#pragma once

// One running program per user, display and settings: a later start hands its request to the
// running one over a local socket in the user's private runtime folder, and ends.

#include <QObject>
#include <QString>
#include <string>

class QLocalServer;

enum class TInstanceClaim {
    First,      // this is the one: later starts arrive through Requested
    Running,    // another one runs and has been asked to show itself
    Unguarded,  // no private folder or socket for the guard: this one runs without it
};

class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    // key: what tells instances apart besides the user (the settings file and the display).
    explicit TSingleInstance(const std::string& key, QObject* parent = nullptr);
    ~TSingleInstance() override;
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Becomes the one instance, or hands the request to the one running and says so. A socket
    // left by one that ended without removing it (a crash) is replaced; a running one that
    // does not answer within a second counts as running. Call once.
    TInstanceClaim Claim();

    // The socket: in $XDG_RUNTIME_DIR when that is the user's own folder closed to others,
    // else in a folder vornask-UID of the temporary folder that is the user's own (made 0700,
    // a real folder, not a link), else in the folder vornask of the user's cache folder
    // ($XDG_CACHE_HOME or ~/.cache) on the same terms; empty when none is.
    const QString& SocketPath() const { return path_; }

  signals:
    // From the event loop for each later start.
    void Requested();

  private:
    bool Listen();
    void Accept();

    QString path_;
    QLocalServer* server_ = nullptr;
};
