#include "platform/tray_icon.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <cstring>
#include <map>
#include <utility>

namespace {

using IconKey = std::pair<const QObject*, uint32_t>;

// Icons live as children of the application object, so one left in the tray at the end is
// released with it rather than after it.
std::map<IconKey, QPointer<QSystemTrayIcon>>& Icons() {
    static std::map<IconKey, QPointer<QSystemTrayIcon>> icons;
    return icons;
}

IconKey KeyOf(const TNotifyIconData& data) {
    return {data.hWnd.data(), data.uID};
}

uint32_t MouseMessageFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return tray::WM_LBUTTONDOWN;
        case QSystemTrayIcon::Context:
            return tray::WM_RBUTTONDOWN;
        case QSystemTrayIcon::DoubleClick:
            return tray::WM_LBUTTONDBLCLK;
        case QSystemTrayIcon::MiddleClick:
            return tray::WM_MBUTTONDOWN;
        default:
            return tray::WM_MOUSEMOVE;
    }
}

void Apply(QSystemTrayIcon& icon, const TNotifyIconData& data) {
    if (data.uFlags & tray::NIF_ICON) icon.setIcon(data.hIcon);
    if (data.uFlags & tray::NIF_TIP)
        icon.setToolTip(PlainTooltip(QString::fromLocal8Bit(TrayTip(data).c_str())));
}

bool Add(const TNotifyIconData& data) {
    QPointer<QSystemTrayIcon>& slot = Icons()[KeyOf(data)];
    if (slot) return false;
    auto* icon = new QSystemTrayIcon(QCoreApplication::instance());
    Apply(*icon, data);
    // The callback travels through the event loop, like any other message to the window.
    QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                     [target = data.hWnd, message = data.uCallbackMessage, id = data.uID,
                      wanted = (data.uFlags & tray::NIF_MESSAGE) != 0](auto reason) {
                         if (!wanted || !target) return;
                         QCoreApplication::postEvent(
                             target, new TTrayCallbackEvent(message, id, MouseMessageFor(reason)));
                     });
    slot = icon;
    icon->show();
    return true;
}

bool Modify(const TNotifyIconData& data) {
    auto found = Icons().find(KeyOf(data));
    if (found == Icons().end() || !found->second) return false;
    Apply(*found->second, data);
    return true;
}

bool Delete(const TNotifyIconData& data) {
    auto found = Icons().find(KeyOf(data));
    if (found == Icons().end()) return false;
    QPointer<QSystemTrayIcon> icon = found->second;
    Icons().erase(found);
    if (!icon) return false;
    icon->hide();
    delete icon.data();
    return true;
}

}  // namespace

QString PlainTooltip(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    // A word joiner after each '<' and '&' starts no tag or entity, and shows as nothing.
    QString plain;
    for (const QChar c : text) {
        plain += c;
        if (c == u'<' || c == u'&') plain += QChar(0x2060);
    }
    return plain;
}

TTrayCallbackEvent::TTrayCallbackEvent(uint32_t message, uint32_t id, uint32_t mouseMessage)
    : QEvent(EventType()), Message(message), WParam(id), LParam(mouseMessage) {}

QEvent::Type TTrayCallbackEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void SetTrayTip(TNotifyIconData& data, const std::string& text) {
    const bool lines = text.find('\n') != std::string::npos;
    const size_t room = lines ? kTrayTipRoom - 1 : kTrayTipSize - 1;
    std::string tip = text;
    if (tip.size() > room) {
        size_t keep = room - 3;
        // Never cut a multi-byte character in half.
        while (keep > 0 && (static_cast<unsigned char>(tip[keep]) & 0xC0) == 0x80) --keep;
        tip = tip.substr(0, keep) + "...";
    }
    std::memset(data.szTip, 0, sizeof data.szTip);
    std::memcpy(data.szTip, tip.data(), tip.size());
}

std::string TrayTip(const TNotifyIconData& data) {
    return std::string(data.szTip, strnlen(data.szTip, sizeof data.szTip));
}

bool TrayNotifyIcon(uint32_t message, const TNotifyIconData& data) {
    if (!QCoreApplication::instance()) return false;
    switch (message) {
        case tray::NIM_ADD:
            return Add(data);
        case tray::NIM_MODIFY:
            return Modify(data);
        case tray::NIM_DELETE:
            return Delete(data);
        default:
            return false;
    }
}

bool TrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QSystemTrayIcon* FindTrayIcon(const TNotifyIconData& data) {
    auto found = Icons().find(KeyOf(data));
    return found == Icons().end() ? nullptr : found->second.data();
}
