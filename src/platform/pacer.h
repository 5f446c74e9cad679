// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

namespace platform {

// Paces something done over and over (a reconnect, a resync) to at most once per interval by the
// steady clock, however often it is asked: callers ask on every poll and need not know its rhythm.
class Pacer {
  public:
    using Clock = std::chrono::steady_clock;
    explicit Pacer(Clock::duration interval) : interval_(interval) {}

    // True at most once per interval; then the next time is one interval on.
    bool Due(Clock::time_point now = Clock::now()) {
        if (now < next_) return false;
        next_ = now + interval_;
        return true;
    }

  private:
    Clock::duration interval_;
    Clock::time_point next_{};
};

}  // namespace platform
