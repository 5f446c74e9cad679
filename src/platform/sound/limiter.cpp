// SPDX-License-Identifier: MIT
#include "platform/sound/limiter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform {

void Limiter::Process(float* samples, int frames) {
    for (int frame = 0; frame < frames; ++frame) {
        float* left = samples + 2 * frame;
        const float peak = std::max(std::fabs(left[0]), std::fabs(left[1]));
        const float need = peak > kCeiling ? kCeiling / peak : 1.0f;
        quietFrames_ = need < 1.0f ? 0 : std::min(quietFrames_ + 1, 2 * kLookAhead);
        // The frame goes in, the one kLookAhead - 1 frames older comes out.
        const int out = (at_ + 1) % kLookAhead;
        const float inLeft = left[0], inRight = left[1];
        left[0] = delay_[2 * out];
        left[1] = delay_[2 * out + 1];
        delay_[2 * at_] = inLeft;
        delay_[2 * at_ + 1] = inRight;
        need_[at_] = need;
        if (quietFrames_ >= 2 * kLookAhead && gain_ == 1.0f) {
            // Nothing near the ceiling in either window: the lows are all 1 already.
            low_[at_] = 1.0f;
        } else {
            const float low = *std::min_element(need_.begin(), need_.end());
            lowSum_ += low - low_[at_];
            low_[at_] = low;
            // The sum is kept running; summing afresh now and then keeps rounding from adding up.
            if (at_ == 0) lowSum_ = std::accumulate(low_.begin(), low_.end(), 0.0f);
            const float mean = std::min(1.0f, lowSum_ / kLookAhead);
            gain_ = std::min(mean, gain_ + 1.0f / kReleaseFrames);
            // The mean may round a hair over a frame's need: never over the ceiling all the same.
            left[0] = std::clamp(left[0] * gain_, -kCeiling, kCeiling);
            left[1] = std::clamp(left[1] * gain_, -kCeiling, kCeiling);
        }
        at_ = out;
    }
}

}  // namespace platform
