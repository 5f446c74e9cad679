// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>

#include "core/twips.h"

namespace runtime {

using core::Pixels;

// A control's place in its container's client area, in twips.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    QRect InPixels() const { return {Pixels(left), Pixels(top), Pixels(width), Pixels(height)}; }
};

}  // namespace runtime
