// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <cstdint>

class QWidget;

namespace runtime {

// A colour as the layouts give it: 0x00BBGGRR.
using Color = std::uint32_t;

constexpr Color Rgb(int red, int green, int blue) {
    return static_cast<Color>(red | (green << 8) | (blue << 16));
}

QColor ToQColor(Color color);

// The colour a label draws its text in.
void SetForeColor(QWidget& control, Color color);
Color ForeColor(const QWidget& control);

// Fills the control's background with the colour.
void SetBackColor(QWidget& control, Color color);

}  // namespace runtime
