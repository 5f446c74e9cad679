// SPDX-License-Identifier: MIT
#pragma once

#include <QBasicTimer>
#include <QObject>
#include <functional>

namespace runtime {

class Services;

// A window's timer control. Its tick handler runs on the event loop about once per interval and
// is never re-entered: a tick that comes due while the handler runs (say, inside a message box
// it opened) is skipped.
class Timer final : public QObject {
  public:
    // Its ticks run through the services' guard.
    Timer(QObject* parent, Services& services);

    void OnTick(std::function<void()> handler) { handler_ = std::move(handler); }
    // Runs the tick handler now, exactly as a tick of the running timer would (for a key event
    // that cannot wait for the next tick); nothing while the timer is stopped or its handler
    // runs, so what asked for it must keep until the next tick. The interval goes on as before.
    void TickNow();

    void SetInterval(int milliseconds);  // 0 stops the ticks
    int Interval() const { return interval_; }
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    void Restart();
    void RunHandler();

    QBasicTimer timer_;
    Services& services_;
    std::function<void()> handler_;
    int interval_ = 0;
    bool enabled_ = true;
    bool ticking_ = false;
};

}  // namespace runtime
