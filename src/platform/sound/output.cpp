// SPDX-License-Identifier: MIT
#include "platform/sound/output.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/sound/mixer.h"

namespace platform {

void Renderer::Render(float* samples, int frames) noexcept {
    Called();
    if (calls_.load(std::memory_order_relaxed) < 2) calls_.fetch_add(1);
    // Marked before mixer_ is read, and Detach clears mixer_ before it waits for the mark: either
    // this render sees no mixer, or Detach sees it under way and waits for it.
    rendering_.store(true);
    if (Mixer* mixer = mixer_.load())
        mixer->Mix(*this, samples, frames);
    else
        std::fill(samples, samples + 2 * frames, 0.0f);
    rendering_.store(false);
}

void Renderer::Started() noexcept {
    Restart();
    state_.store(State::kPlaying);
}

void Renderer::Lost(const char* reason) noexcept {
    if (reason && !reasonKept_.exchange(true)) {
        std::strncpy(reason_, reason, sizeof reason_ - 1);
        reason_[sizeof reason_ - 1] = '\0';
    }
    state_.store(State::kLost);
}

void Renderer::FellBehind(int periods) noexcept {
    if (periods > 0 && calls_.load() >= 2) fellBehind_.fetch_add(periods);
}

void Renderer::Restart() {
    calls_.store(0);
    Called();
}

void Renderer::Detach() {
    mixer_.store(nullptr);
    while (rendering_.load()) std::this_thread::yield();
}

void Renderer::Called() {
    lastCall_.store(Clock::now().time_since_epoch().count());
}

Output::State Output::Poll(Clock::time_point now) const {
    const State state = renderer_->state();
    const auto limit = renderer_->Calls() < 2 ? kFirstCallsLimit : kStallLimit;
    return state == State::kPlaying && active_ && now - renderer_->LastCall() > limit ? State::kLost
                                                                                      : state;
}

void Output::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) renderer_->Restart();
    Activate(active);
}

}  // namespace platform
