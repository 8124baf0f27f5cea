#pragma once

// The notification-area icon behind the record-and-call interface the main window uses: one
// record describes the icon, and the same three calls add, modify and delete it.

#include <QEvent>
#include <QIcon>
#include <QPointer>
#include <cstdint>
#include <string>

class QObject;
class QSystemTrayIcon;

namespace tray {
// Tray calls.
enum : uint32_t { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
// Which fields of the record are valid.
enum : uint32_t { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };
// Mouse messages delivered with the callback message.
enum : uint32_t {
    WM_MOUSEMOVE = 512,
    WM_LBUTTONDOWN = 513,
    WM_LBUTTONDBLCLK = 515,
    WM_RBUTTONDOWN = 516,
    WM_MBUTTONDOWN = 519,
};
}  // namespace tray

inline constexpr int kTrayTipSize = 64;  // zero-terminated: at most 63 characters
// Room for a tooltip of several lines (one per mailbox), each of which SetTrayTip keeps whole.
inline constexpr int kTrayTipRoom = 4096;

struct TNotifyIconData {
    uint32_t cbSize = 88;
    QPointer<QObject> hWnd;  // receives the callback message as a TTrayCallbackEvent
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[kTrayTipRoom] = {};
};

// The callback message: posted to the record's hWnd when the user acts on the icon.
class TTrayCallbackEvent : public QEvent {
  public:
    TTrayCallbackEvent(uint32_t message, uint32_t id, uint32_t mouseMessage);
    static QEvent::Type EventType();

    uint32_t Message;  // the record's uCallbackMessage
    uint32_t WParam;   // the icon's identifier
    uint32_t LParam;   // the mouse message
};

// Copies text into szTip. A single line longer than 63 characters is cut so that it ends in
// "..."; text of several lines is kept whole (up to the room there is), as each line says what
// became of one mailbox.
void SetTrayTip(TNotifyIconData& data, const std::string& text);
std::string TrayTip(const TNotifyIconData& data);

// Adds, modifies or deletes the icon the record describes (identified by hWnd and uID).
// Returns false when the call cannot be carried out (already added, not there).
bool TrayNotifyIcon(uint32_t message, const TNotifyIconData& data);

// The tooltip as the icon is given it: a tray that draws it as a widget tooltip would take text
// that looks like markup (a server's "<b>") for rich text, so such text gets an invisible word
// joiner after each '<' and '&'; anything else is unchanged.
QString PlainTooltip(const QString& text);

// Whether the desktop shows tray icons at all.
bool TrayAvailable();

// The live icon of a record, or null; lets tests read the tooltip and emit activations.
QSystemTrayIcon* FindTrayIcon(const TNotifyIconData& data);
