// A periodic timer with the form toolkit's interval rules.
#include "FormTimer.h"

namespace kvel {

FormTimer::FormTimer(std::function<void()> onTimer, QObject* parent)
    : QObject(parent), onTimer_(std::move(onTimer)) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { onTimer_(); });
}

void FormTimer::SetInterval(int ms) {
    if (ms <= 0) {
        timer_.stop();
        return;
    }
    if (timer_.isActive() && timer_.interval() == ms) return;
    timer_.start(ms);
}

} // namespace kvel
