// SPDX-License-Identifier: MIT
#include "platform/sound/limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using platform::Limiter;

constexpr int kRate = 48000;

// A 220 Hz tone, stereo, `amplitude` but for the loud stretch [loudFrom, loudTo) at `loud`.
std::vector<float> Tone(int frames, float amplitude, int loudFrom = 0, int loudTo = 0,
                        float loud = 0) {
    std::vector<float> samples(2 * frames);
    for (int frame = 0; frame < frames; ++frame) {
        const float level = frame >= loudFrom && frame < loudTo ? loud : amplitude;
        samples[2 * frame] = samples[2 * frame + 1] =
            level * std::sin(2 * std::numbers::pi_v<float> * 220 * frame / kRate);
    }
    return samples;
}

// Through the limiter in blocks of 128 frames, as an output renders.
std::vector<float> Limited(std::vector<float> samples) {
    Limiter limiter;
    for (std::size_t at = 0; at < samples.size(); at += 256)
        limiter.Process(samples.data() + at,
                        static_cast<int>(std::min<std::size_t>(256, samples.size() - at) / 2));
    return samples;
}

TEST(LimiterTest, SoundUnderFullScalePassesUnchangedALookAheadLate) {
    const std::vector<float> in = Tone(kRate / 10, 0.9f);
    const std::vector<float> out = Limited(in);
    constexpr int kLate = Limiter::kLookAhead - 1;
    for (std::size_t i = 2 * kLate; i < out.size(); ++i) ASSERT_EQ(out[i], in[i - 2 * kLate]) << i;
}

TEST(LimiterTest, ALoudChordIsPressedUnderFullScaleSmoothlyAndTheGainComesBack) {
    // 0.5 before and after, 2.5 for a tenth of a second: a chord of five loud notes.
    const std::vector<float> out = Limited(Tone(kRate / 2, 0.5f, kRate / 10, kRate / 5, 2.5f));
    float peak = 0, step = 0, tail = 0;
    for (std::size_t i = 2; i < out.size(); ++i) {
        peak = std::max(peak, std::fabs(out[i]));
        step = std::max(step, std::fabs(out[i] - out[i - 2]));
        if (i > out.size() - 2 * kRate / 10) tail = std::max(tail, std::fabs(out[i]));
    }
    EXPECT_LE(peak, Limiter::kCeiling) << "clipped";
    // The tone's own steepest step at 2.5 is 0.072; a gain that jumped would step far more.
    EXPECT_LT(step, 0.15f) << "the gain jumped: a click";
    EXPECT_NEAR(tail, 0.5f, 0.01f) << "still pressed down well after the chord";
}

}  // namespace
