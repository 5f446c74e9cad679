// SPDX-License-Identifier: MIT
#include "conditioning.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "sound_analysis.h"

namespace {

// Windowed-sinc low-pass for the 2:1 decimation, cut off at 10 kHz of the 44.1 kHz input.
constexpr int kTaps = 95;
constexpr double kCutoffShare = 10000.0 / 44100.0;
constexpr double kLimiterAttackSeconds = 0.002;
constexpr double kLimiterReleaseSeconds = 0.05;

std::vector<double> lowPassTaps() {
    std::vector<double> taps(kTaps);
    const double middle = (kTaps - 1) / 2.0;
    double sum = 0.0;
    for (int k = 0; k < kTaps; ++k) {
        const double t = k - middle;
        const double sinc =
            t == 0.0 ? 2.0 * kCutoffShare
                     : std::sin(2.0 * std::numbers::pi * kCutoffShare * t) / (std::numbers::pi * t);
        const double phase = 2.0 * std::numbers::pi * k / (kTaps - 1);
        const double blackman = 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
        taps[k] = sinc * blackman;
        sum += taps[k];
    }
    for (double& tap : taps) tap /= sum;
    return taps;
}

float raisedCosine(std::size_t step, std::size_t steps) {
    return static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * step / steps));
}

}  // namespace

std::vector<float> halveRate(std::span<const float> signal) {
    static const std::vector<double> taps = lowPassTaps();
    const auto middle = static_cast<std::ptrdiff_t>(kTaps / 2);
    const auto size = static_cast<std::ptrdiff_t>(signal.size());
    std::vector<float> halved;
    halved.reserve(signal.size() / 2);
    for (std::ptrdiff_t centre = 0; centre < size; centre += 2) {
        double sum = 0.0;
        for (std::ptrdiff_t k = 0; k < kTaps; ++k) {
            const std::ptrdiff_t i = centre + k - middle;
            if (i >= 0 && i < size) sum += taps[k] * signal[i];
        }
        halved.push_back(static_cast<float>(sum));
    }
    return halved;
}

std::vector<float> trimBeforeOnset(std::span<const float> signal, std::size_t leadSamples) {
    const std::size_t onset =
        sound_analysis::onsetIndex(signal, 2.0 * sound_analysis::kOnsetShareOfPeak);
    const std::size_t start = onset > leadSamples ? onset - leadSamples : 0;
    return {signal.begin() + static_cast<std::ptrdiff_t>(start), signal.end()};
}

std::vector<float> limitPeaks(std::span<const float> signal, double ceiling, double rate) {
    // Gain reduction per sample, then spread out: backwards in time by the attack, forwards by the
    // release, each decaying exponentially so the gain never steps.
    std::vector<double> reduction(signal.size(), 0.0);
    for (std::size_t i = 0; i < signal.size(); ++i)
        if (std::abs(signal[i]) > ceiling) reduction[i] = 1.0 - ceiling / std::abs(signal[i]);
    const double attack = std::exp(-1.0 / (kLimiterAttackSeconds * rate));
    const double release = std::exp(-1.0 / (kLimiterReleaseSeconds * rate));
    for (std::size_t i = signal.size() - 1; i-- > 0;)
        reduction[i] = std::max(reduction[i], reduction[i + 1] * attack);
    for (std::size_t i = 1; i < signal.size(); ++i)
        reduction[i] = std::max(reduction[i], reduction[i - 1] * release);

    std::vector<float> limited(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i)
        limited[i] = static_cast<float>(signal[i] * (1.0 - reduction[i]));
    return limited;
}

std::vector<float> edgeEnvelope(std::size_t length, std::size_t fadeIn, std::size_t fadeOut) {
    std::vector<float> gains(length, 1.0f);
    for (std::size_t i = 0; i < std::min(fadeIn, length); ++i) gains[i] = raisedCosine(i, fadeIn);
    for (std::size_t i = 0; i < std::min(fadeOut, length); ++i)
        gains[length - 1 - i] = std::min(gains[length - 1 - i], raisedCosine(i, fadeOut));
    return gains;
}

std::vector<std::uint8_t> toUnsigned8(std::span<const float> signal,
                                      std::span<const float> envelope, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const double dither = (uniform(random) + uniform(random)) * envelope[i];
        const double level = std::clamp(std::round(128.0 * signal[i] + dither), -128.0, 127.0);
        bytes.push_back(static_cast<std::uint8_t>(level + 128.0));
    }
    return bytes;
}
