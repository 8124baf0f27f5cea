#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

// A periodic timer with the semantics the check cycle relies on: changing the period or
// enabling it restarts the count; a period of 0 or less never ticks; a period longer than the
// event loop's timers can hold uses the longest one they support.
class TTimer : public QObject {
    Q_OBJECT
  public:
    explicit TTimer(QObject* owner = nullptr);

    int64_t Interval() const { return interval_; }
    void SetInterval(int64_t milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // True while ticks are actually scheduled.
    bool IsTicking() const { return timer_.isActive(); }

  signals:
    // Each tick, while enabled.
    void Ticked();

  private:
    void Restart();

    QTimer timer_;
    int64_t interval_ = 1000;
    bool enabled_ = false;
};

// Minutes to milliseconds without 32-bit overflow.
inline int64_t MinutesToMs(int32_t minutes) {
    return int64_t{minutes} * 60000;
}
