#include "platform/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";
const QString kActionKey = "open-mail";
// Long enough for a busy service, short enough that a hung one does not freeze the program.
constexpr int kCallTimeoutMs = 3000;

}  // namespace

TDesktopNotifier::TDesktopNotifier(QObject* parent) : QObject(parent) {}

// The service's signals go to every client; only those about our own notifications count.
bool TDesktopNotifier::Listen() {
    if (listening_) return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    listening_ = bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                             SLOT(ActionInvoked(uint, QString))) &&
                 bus.connect(kService, kPath, kInterface, "NotificationClosed", this,
                             SLOT(NotificationClosed(uint, uint)));
    return listening_;
}

bool TDesktopNotifier::Show(const QString& summary, const QString& body,
                            const QString& actionLabel) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    const bool withAction = !actionLabel.isEmpty() && Listen();
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    const QStringList actions = withAction ? QStringList{kActionKey, actionLabel} : QStringList{};
    const QVariantMap hints{{"desktop-entry", QString("vornask")}};
    call << QString("Vornask") << shownId_ << QString("vornask") << summary << body << actions
         << hints << int32_t{-1};
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    shownId_ = reply.arguments().first().toUInt();
    actionId_ = withAction ? shownId_ : 0;
    return true;
}

void TDesktopNotifier::ActionInvoked(uint id, const QString& actionKey) {
    if (id == 0 || id != actionId_ || actionKey != kActionKey) return;
    actionId_ = 0;  // one notification starts one program
    emit ActionTaken();
}

void TDesktopNotifier::NotificationClosed(uint id, uint) {
    if (id == actionId_) actionId_ = 0;
}
