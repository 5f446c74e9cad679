// SPDX-License-Identifier: MIT
#pragma once

namespace core {

// Layouts are designed in twips at 96 dots per inch: 15 twips to the pixel. Qt's own high-DPI
// scaling maps the logical pixels to the screen.
inline constexpr int kTwipsPerPixel = 15;

constexpr int Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

}  // namespace core
