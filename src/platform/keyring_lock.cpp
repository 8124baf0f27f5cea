#include "platform/keyring_lock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>

namespace {

const char* const kSecrets = "org.freedesktop.secrets";

// The call's first answer value; invalid on an error or when the bound passed.
QVariant FirstAnswer(const QDBusMessage& call, std::chrono::milliseconds bound) {
    const QDBusPendingCall pending =
        QDBusConnection::sessionBus().asyncCall(call, static_cast<int>(bound.count()));
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished()) loop.exec();
    const QDBusMessage reply = watcher.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first();
}

}  // namespace

bool SecretServiceLocked(std::chrono::milliseconds bound) {
    if (!QDBusConnection::sessionBus().isConnected()) return false;
    QDBusMessage alias = QDBusMessage::createMethodCall(
        kSecrets, "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "ReadAlias");
    alias << QString("default");
    const QString path = qvariant_cast<QDBusObjectPath>(FirstAnswer(alias, bound)).path();
    if (path.isEmpty() || path == "/") return false;
    QDBusMessage locked =
        QDBusMessage::createMethodCall(kSecrets, path, "org.freedesktop.DBus.Properties", "Get");
    locked << QString("org.freedesktop.Secret.Collection") << QString("Locked");
    return qvariant_cast<QDBusVariant>(FirstAnswer(locked, bound)).variant().toBool();
}
