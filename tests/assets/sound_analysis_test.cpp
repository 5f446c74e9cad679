// SPDX-License-Identifier: MIT
// The measurements behind the library checks, on tones whose answers are known.

#include "sound_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace sound_analysis;

constexpr double kRate = 22050.0;

struct Partial {
    double ratio;  // to the tone's frequency
    double amplitude;
};

std::vector<float> tone(double hz, std::vector<Partial> partials, double seconds = 1.0) {
    std::vector<float> signal(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < signal.size(); ++i)
        for (const Partial& p : partials)
            signal[i] += static_cast<float>(
                p.amplitude * std::sin(2.0 * std::numbers::pi * hz * p.ratio * i / kRate));
    return signal;
}

TEST(SoundAnalysis, FindsTheFundamentalToAFractionOfACent) {
    const double highest = 987.767;  // B5
    EXPECT_NEAR(centsBetween(*fundamentalHz(tone(highest, {{1, 0.4}}), kRate), highest), 0, 0.2);

    // A reed tone: the octave partial is much stronger than the fundamental.
    const double reed = 233.082;  // A#3
    const auto reedHz = fundamentalHz(tone(reed, {{1, 0.1}, {2, 0.4}, {3, 0.2}}), kRate);
    ASSERT_TRUE(reedHz.has_value());
    EXPECT_NEAR(centsBetween(*reedHz, reed), 0, 0.2);
}

TEST(SoundAnalysis, HearsASubOctaveRankAsAnOctaveLow) {
    const double written = 261.626;  // C4
    const auto hz = fundamentalHz(tone(written / 2, {{1, 0.2}, {2, 0.4}, {4, 0.1}}), kRate);
    ASSERT_TRUE(hz.has_value());
    EXPECT_NEAR(centsBetween(*hz, written), -1200, 1);
}

TEST(SoundAnalysis, FindsNoPitchInSilenceOrNoise) {
    EXPECT_FALSE(fundamentalHz(std::vector<float>(22050, 0.0f), kRate).has_value());
    EXPECT_FALSE(fundamentalHz(tone(440, {{1, 0.5}}, 0.1), kRate).has_value()) << "too short";

    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-0.3f, 0.3f);
    std::vector<float> noise(22050);
    for (float& v : noise) v = uniform(random);
    EXPECT_FALSE(fundamentalHz(noise, kRate).has_value());
}

TEST(SoundAnalysis, MeasuresOnsetPeakAndLoudnessAfterLeadingSilence) {
    std::vector<float> signal(220, 0.0f);  // 10 ms of silence before a half-scale sine
    const auto sine = tone(1000, {{1, 0.5}});
    signal.insert(signal.end(), sine.begin(), sine.end());

    EXPECT_NEAR(peakLevel(signal), 0.5, 1e-3);
    const auto onset = onsetIndex(signal);
    EXPECT_GE(onset, 220u);
    EXPECT_LE(onset, 222u);
    EXPECT_NEAR(loudnessDb(signal, kRate), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.05);
}

}  // namespace
