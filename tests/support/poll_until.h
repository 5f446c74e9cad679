// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// Asks `done` every `interval` until it answers true or `seconds` have passed; its last answer.
// Waiting on the condition rather than for a fixed time keeps a test quick on an idle machine and
// right on a busy one.
template <typename Done>
bool PollUntil(Done&& done, double seconds,
               std::chrono::milliseconds interval = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace testing_support
