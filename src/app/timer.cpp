#include "app/timer.h"

#include <limits>

TTimer::TTimer(QObject* owner) : QObject(owner) {
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &TTimer::Ticked);
}

void TTimer::SetInterval(int64_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    Restart();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void TTimer::Restart() {
    timer_.stop();
    if (!enabled_ || interval_ <= 0) return;
    const int64_t longest = std::numeric_limits<int>::max();
    timer_.start(static_cast<int>(interval_ < longest ? interval_ : longest));
}
