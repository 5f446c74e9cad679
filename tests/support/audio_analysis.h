// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace testing_support {

// Peak absolute value of one channel of interleaved stereo, over [first, last) frames.
inline float Peak(const std::vector<float>& stereo, int channel, std::size_t first = 0,
                  std::size_t last = static_cast<std::size_t>(-1)) {
    float peak = 0;
    last = std::min(last, stereo.size() / 2);
    for (std::size_t i = first; i < last; ++i)
        peak = std::max(peak, std::fabs(stereo[i * 2 + channel]));
    return peak;
}

// Index of the first frame whose left channel is audibly non-zero, or -1.
inline long FirstSoundingFrame(const std::vector<float>& stereo, float threshold = 1e-3f) {
    for (std::size_t i = 0; i < stereo.size() / 2; ++i)
        if (std::fabs(stereo[i * 2]) > threshold) return static_cast<long>(i);
    return -1;
}

// The pitch of a recorded tone (mono) by the median length of its periods, so that a glitch of the
// recording (a server changing its period as a client comes, or rewriting what it had rendered)
// counts as one odd period only; 0 when there is no tone.
inline double RecordedPitch(const std::vector<float>& samples, int sampleRate) {
    std::vector<double> periods;
    double previous = -1;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] >= 0 || samples[i] < 0) continue;
        const double crossing = i - samples[i] / (samples[i] - samples[i - 1]);
        if (previous >= 0) periods.push_back(crossing - previous);
        previous = crossing;
    }
    if (periods.empty()) return 0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return sampleRate / periods[periods.size() / 2];
}

}  // namespace testing_support
