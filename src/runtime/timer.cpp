#include "runtime/timer.h"

#include <QTimerEvent>

#include "runtime/error_report.h"

namespace runtime {

Timer::Timer(QObject* parent) : QObject(parent) {}

void Timer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    Restart();
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Restart();
}

void Timer::Restart() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_, Qt::PreciseTimer, this);
    else
        timer_.stop();
}

void Timer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (ticking_ || !handler_) return;
    ticking_ = true;
    Guard(handler_);
    ticking_ = false;
}

}  // namespace runtime
