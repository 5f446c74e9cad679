// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>
#include <cstdlib>

namespace forms::art::testing {

// True when every channel is within `tolerance` of the expected colour.
inline bool Near(const QColor& actual, const QColor& expected, int tolerance = 12) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

inline bool Dark(const QColor& c) {
    return c.red() < 100 && c.green() < 100 && c.blue() < 100;
}

inline bool White(const QColor& c) {
    return Near(c, QColor(255, 255, 255), 30);
}

}  // namespace forms::art::testing
