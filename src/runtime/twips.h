#pragma once

#include <QRect>

namespace runtime {

// Layouts are designed in twips at 96 dots per inch; Qt's own high-DPI scaling maps the logical
// pixels to the screen.
inline constexpr int kTwipsPerPixel = 15;

constexpr int Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

// A control's place in its container's client area, in twips.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    QRect InPixels() const { return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)}; }
};

}  // namespace runtime
