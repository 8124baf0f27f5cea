#pragma once

// Notifications through the desktop's notification service (org.freedesktop.Notifications on
// the session bus), with at most one action the user can take from them.

#include <QObject>
#include <QString>
#include <cstdint>

class TDesktopNotifier : public QObject {
    Q_OBJECT
  public:
    explicit TDesktopNotifier(QObject* parent = nullptr);

    // Shows a notification, in place of the one shown before, so that they do not pile up. An
    // empty actionLabel offers no action. Returns false when no notification service answers
    // (no session bus, nobody owns the name, the call failed or took too long); the caller
    // then tells the user another way.
    bool Show(const QString& summary, const QString& body, const QString& actionLabel = {});

  signals:
    // The user took the action of the last notification that offered one.
    void ActionTaken();

  private slots:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

  private:
    bool Listen();

    uint32_t shownId_ = 0;   // the notification a new one replaces
    uint32_t actionId_ = 0;  // the one whose action is still open, or 0
    bool listening_ = false;
};
