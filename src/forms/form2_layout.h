// SPDX-License-Identifier: MIT
#pragma once

#include <span>

#include "runtime/control_design.h"

namespace forms {

inline constexpr runtime::FormDesign kForm2{
    .caption = "Справка",
    .clientWidth = 6555,
    .clientHeight = 4155,
    .border = runtime::BorderStyle::FixedDialog,
};

// The note-order window's controls in creation order.
std::span<const runtime::ControlDesign> Form2Layout();

}  // namespace forms
