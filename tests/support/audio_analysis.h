#pragma once

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

}  // namespace testing_support
