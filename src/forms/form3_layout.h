// SPDX-License-Identifier: MIT
#pragma once

#include <span>
#include <string_view>

#include "runtime/color.h"
#include "runtime/control_design.h"

namespace forms {

inline constexpr runtime::FormDesign kForm3{
    .caption = "О программе",
    .clientWidth = 5355,
    .clientHeight = 2190,
    .border = runtime::BorderStyle::FixedDialog,
};

// The web link: the address Label2 shows, and the one a click opens. Two settings on purpose;
// neither is made from the other.
inline constexpr std::string_view kLinkCaption = "www.example.org/notopiscev";
inline constexpr std::string_view kLinkTarget = "https://example.org/tonarium/";

// The link's text colours.
inline constexpr runtime::Color kLinkNormal = runtime::Rgb(0, 0, 255);
inline constexpr runtime::Color kLinkHover = runtime::Rgb(255, 128, 0);
inline constexpr runtime::Color kLinkPressed = runtime::Rgb(128, 128, 128);

// The About window's controls in creation order.
std::span<const runtime::ControlDesign> Form3Layout();

}  // namespace forms
