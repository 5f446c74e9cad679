// SPDX-License-Identifier: MIT
#include "runtime/timer.h"

#include <QTimerEvent>

#include "runtime/services.h"

namespace runtime {

Timer::Timer(QObject* parent, Services& services) : QObject(parent), services_(services) {}

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
    RunHandler();
}

void Timer::TickNow() {
    // A stopped timer (not loaded yet, or unloaded) has no ticks to bring forward.
    if (timer_.isActive()) RunHandler();
}

void Timer::RunHandler() {
    if (ticking_ || !handler_) return;
    ticking_ = true;
    services_.Guard(handler_);
    ticking_ = false;
}

}  // namespace runtime
