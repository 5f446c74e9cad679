// SPDX-License-Identifier: MIT
#include "sound_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace sound_analysis {

namespace {

// The search range covers an octave below the lowest note, so a note an octave low is caught.
constexpr double kLowestHz = 50.0;
constexpr double kHighestHz = 1500.0;
constexpr std::size_t kYinWindow = 2048;
constexpr double kYinThreshold = 0.15;
// Above this the difference function shows no usable period at all (noise or silence).
constexpr double kYinAperiodic = 0.5;
// A piano's upper partials run sharp, and YIN's period follows them: on FluidR3's top octave it
// reads up to 32 cents above the fundamental. The spectral search therefore spans a semitone
// either way, on a grid fine enough that a second string detuned a few cents cannot win.
constexpr double kRefineCents = 100.0;
constexpr double kGridCents = 2.0;
constexpr int kGoldenSteps = 24;

std::span<const float> stretch(std::span<const float> signal, std::size_t begin,
                               std::size_t length) {
    begin = std::min(begin, signal.size());
    return signal.subspan(begin, std::min(length, signal.size() - begin));
}

// Period in samples by YIN: the first dip of the cumulative-mean-normalised difference function
// below the threshold, interpolated between lags by a parabola.
std::optional<double> yinPeriod(std::span<const float> x, double rate) {
    const auto minLag = static_cast<std::size_t>(rate / kHighestHz);
    const auto maxLag = static_cast<std::size_t>(std::ceil(rate / kLowestHz));
    if (minLag < 2 || x.size() < kYinWindow + maxLag + 1) return std::nullopt;

    std::vector<double> normalised(maxLag + 2, 1.0);
    double running = 0.0;
    for (std::size_t lag = 1; lag <= maxLag + 1; ++lag) {
        double difference = 0.0;
        for (std::size_t j = 0; j < kYinWindow; ++j) {
            const double d = static_cast<double>(x[j]) - x[j + lag];
            difference += d * d;
        }
        running += difference;
        normalised[lag] = running > 0.0 ? difference * static_cast<double>(lag) / running : 1.0;
    }

    std::size_t lag = minLag;
    while (lag <= maxLag && normalised[lag] >= kYinThreshold) ++lag;
    if (lag > maxLag) {
        lag = static_cast<std::size_t>(
            std::min_element(normalised.begin() + minLag, normalised.begin() + maxLag + 1) -
            normalised.begin());
        if (normalised[lag] > kYinAperiodic) return std::nullopt;
    }
    while (lag < maxLag && normalised[lag + 1] < normalised[lag]) ++lag;

    const double before = normalised[lag - 1];
    const double at = normalised[lag];
    const double after = normalised[lag + 1];
    const double curvature = before - 2.0 * at + after;
    const double shift = curvature > 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    return static_cast<double>(lag) + shift;
}

// Magnitude of the (already windowed) signal's spectrum at one frequency. The phasor turns by
// plain arithmetic rather than std::complex, which keeps unoptimised test builds quick.
double magnitudeAt(const std::vector<double>& windowed, double hz, double rate) {
    const double angle = -2.0 * std::numbers::pi * hz / rate;
    const double stepCos = std::cos(angle);
    const double stepSin = std::sin(angle);
    double phasorRe = 1.0;
    double phasorIm = 0.0;
    double sumRe = 0.0;
    double sumIm = 0.0;
    for (const double v : windowed) {
        sumRe += v * phasorRe;
        sumIm += v * phasorIm;
        const double turnedRe = phasorRe * stepCos - phasorIm * stepSin;
        phasorIm = phasorRe * stepSin + phasorIm * stepCos;
        phasorRe = turnedRe;
    }
    return std::hypot(sumRe, sumIm);
}

// The spectral peak nearest the coarse estimate: a coarse grid, then a golden-section search.
double refineFundamental(std::span<const float> x, double coarseHz, double rate) {
    std::vector<double> windowed(x.size());
    const double last = static_cast<double>(x.size() - 1);
    for (std::size_t i = 0; i < x.size(); ++i)
        windowed[i] = x[i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / last));

    const auto hzAt = [&](double cents) { return coarseHz * std::exp2(cents / 1200.0); };
    const auto magnitude = [&](double cents) { return magnitudeAt(windowed, hzAt(cents), rate); };

    double bestCents = -kRefineCents;
    double bestMagnitude = -1.0;
    for (double cents = -kRefineCents; cents <= kRefineCents; cents += kGridCents) {
        const double m = magnitude(cents);
        if (m > bestMagnitude) bestMagnitude = m, bestCents = cents;
    }

    // Golden-section search around the best grid point, one new evaluation per step.
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    double low = bestCents - kGridCents;
    double high = bestCents + kGridCents;
    double left = high - ratio * (high - low);
    double right = low + ratio * (high - low);
    double leftMagnitude = magnitude(left);
    double rightMagnitude = magnitude(right);
    for (int step = 0; step < kGoldenSteps; ++step) {
        if (leftMagnitude < rightMagnitude) {
            low = left;
            left = right, leftMagnitude = rightMagnitude;
            right = low + ratio * (high - low), rightMagnitude = magnitude(right);
        } else {
            high = right;
            right = left, rightMagnitude = leftMagnitude;
            left = high - ratio * (high - low), leftMagnitude = magnitude(left);
        }
    }
    return hzAt((low + high) / 2.0);
}

}  // namespace

double peakLevel(std::span<const float> signal) {
    double peak = 0.0;
    for (const float v : signal) peak = std::max(peak, static_cast<double>(std::abs(v)));
    return peak;
}

std::size_t onsetIndex(std::span<const float> signal, double shareOfPeak) {
    const double threshold = shareOfPeak * peakLevel(signal);
    if (threshold == 0.0) return 0;
    const auto first = std::find_if(signal.begin(), signal.end(),
                                    [&](float v) { return std::abs(v) >= threshold; });
    return static_cast<std::size_t>(first - signal.begin());
}

double loudnessDb(std::span<const float> signal, double rate) {
    const auto judged =
        stretch(signal, onsetIndex(signal), static_cast<std::size_t>(kLoudnessSeconds * rate));
    double energy = 0.0;
    for (const float v : judged) energy += static_cast<double>(v) * v;
    if (energy == 0.0) return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(energy / static_cast<double>(judged.size()));
}

std::optional<double> fundamentalHz(std::span<const float> signal, double rate) {
    const auto sustained =
        stretch(signal, onsetIndex(signal) + static_cast<std::size_t>(kPitchSkipSeconds * rate),
                static_cast<std::size_t>(kPitchSeconds * rate));
    const auto period = yinPeriod(sustained, rate);
    if (!period) return std::nullopt;
    return refineFundamental(sustained, rate / *period, rate);
}

double centsBetween(double hz, double referenceHz) {
    return 1200.0 * std::log2(hz / referenceHz);
}

}  // namespace sound_analysis
