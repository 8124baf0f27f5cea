#include "platform/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace {

constexpr int kAnswerMs = 1000;
constexpr int kLockMs = 5000;
const QByteArray kShowRequest = "show\n";

// A folder only this user can enter: a real folder (not a link), owned by the user, with no
// rights for group or others.
bool IsPrivateFolder(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// A folder made here for the guard: also fully the user's (mode 0700) before it is used.
bool IsOwnGuardFolder(const QString& path) {
    struct stat st {};
    return IsPrivateFolder(path) && lstat(QFile::encodeName(path).constData(), &st) == 0 &&
           (st.st_mode & 0777) == 0700;
}

// The folder, made 0700 when it is not there; empty unless it then is the user's own.
QString GuardFolder(const QString& path) {
    mkdir(QFile::encodeName(path).constData(), 0700);  // or it is there already
    return IsOwnGuardFolder(path) ? path : QString();
}

// The session's runtime folder; else the user's folder in the temporary folder; else, when
// another user holds that name there (anyone may create it first), one in the user's cache
// folder, which no one else can create.
QString PrivateFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return runtime;
    const QString temporary =
        GuardFolder(QDir::tempPath() + QStringLiteral("/vornask-%1").arg(geteuid()));
    if (!temporary.isEmpty()) return temporary;
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) cache = QDir::homePath() + QStringLiteral("/.cache");
    if (!QDir().mkpath(cache)) return {};
    return GuardFolder(cache + QStringLiteral("/vornask"));
}

QString SocketPathFor(const std::string& key) {
    const QString folder = PrivateFolder();
    if (folder.isEmpty()) return {};
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha256);
    return folder + QStringLiteral("/vornask-%1-%2")
                        .arg(geteuid())
                        .arg(QString::fromLatin1(digest.toHex().left(16)));
}

}  // namespace

TSingleInstance::TSingleInstance(const std::string& key, QObject* parent)
    : QObject(parent), path_(SocketPathFor(key)) {}

TSingleInstance::~TSingleInstance() = default;

TInstanceClaim TSingleInstance::Claim() {
    if (path_.isEmpty()) return TInstanceClaim::Unguarded;
    // Two starts at once must not both find no one and both listen.
    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockMs)) return TInstanceClaim::Unguarded;

    QLocalSocket peer;
    peer.connectToServer(path_);
    if (peer.waitForConnected(kAnswerMs)) {
        // The running one reads it once its event loop is free; no need to wait for that.
        peer.write(kShowRequest);
        peer.waitForBytesWritten(kAnswerMs);
        peer.disconnectFromServer();
        return TInstanceClaim::Running;
    }
    switch (peer.error()) {
        case QLocalSocket::ServerNotFoundError:
        case QLocalSocket::ConnectionRefusedError:
            break;  // nobody, or a socket left behind by a crash
        case QLocalSocket::SocketTimeoutError:
            return TInstanceClaim::Running;  // there, but too busy to take the request
        default:
            return TInstanceClaim::Unguarded;
    }
    return Listen() ? TInstanceClaim::First : TInstanceClaim::Unguarded;
}

bool TSingleInstance::Listen() {
    QLocalServer::removeServer(path_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path_)) return false;
    connect(server_, &QLocalServer::newConnection, this, [this] { Accept(); });
    return true;
}

void TSingleInstance::Accept() {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        // The request may have arrived with the connection, or come a little later.
        auto take = [this, peer] {
            if (!peer->canReadLine()) return;
            const bool show = peer->readLine() == kShowRequest;
            peer->disconnectFromServer();
            if (show) emit Requested();
        };
        connect(peer, &QLocalSocket::readyRead, peer, take);
        take();
    }
}
