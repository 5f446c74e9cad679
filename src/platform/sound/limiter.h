// SPDX-License-Identifier: MIT
#pragma once

#include <array>

namespace platform {

// Keeps the mix at or under full scale, the way a mastering limiter does, so that chords of many
// loud notes are pressed down rather than clipped. The sound passes kLookAhead frames late, so
// that the gain can come down smoothly before a peak reaches the output and need never jump;
// after the peak it goes back up over kRelease. Interleaved stereo, in place, one block after
// another; a block of sound under full scale costs a copy through the delay. It allocates
// nothing: the real-time callbacks call it.
class Limiter {
  public:
    static constexpr int kLookAhead = 48;  // 1 ms at 48 kHz, as OpenAL's own limiter
    static constexpr float kCeiling = 1.0f;
    static constexpr int kReleaseFrames = 2400;  // from the deepest cut back to 1 in 50 ms

    void Process(float* samples, int frames);

  private:
    // Every frame's own need (the gain that keeps it under the ceiling), the lowest need of the
    // kLookAhead frames up to each, and their sum: the gain is the mean of those lows, which a
    // frame's own need bounds once it has reached the output.
    std::array<float, 2 * kLookAhead> delay_{};
    std::array<float, kLookAhead> need_ = Ones();
    std::array<float, kLookAhead> low_ = Ones();
    float lowSum_ = kLookAhead;
    int at_ = 0;
    float gain_ = 1.0f;
    int quietFrames_ = kLookAhead;  // frames in a row under the ceiling, up to the window

    static std::array<float, kLookAhead> Ones() {
        std::array<float, kLookAhead> ones;
        ones.fill(1.0f);
        return ones;
    }
};

}  // namespace platform
