// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// The value below which that fraction of the values lies (nearest rank).
inline double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * values.size()));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

// "median … p95 … max … ms" of milliseconds.
inline std::string MedianP95Max(const std::vector<double>& ms) {
    char text[96];
    std::snprintf(text, sizeof text, "median %5.1f  p95 %5.1f  max %5.1f ms", Percentile(ms, 0.5),
                  Percentile(ms, 0.95), *std::max_element(ms.begin(), ms.end()));
    return text;
}

}  // namespace bench
