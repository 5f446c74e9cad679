// SPDX-License-Identifier: MIT
#pragma once

#include <span>

#include "runtime/control_design.h"

namespace forms {

inline constexpr runtime::FormDesign kForm1{
    .caption = "Музыкальный тонариум v 1.01",
    .clientWidth = 6540,
    .clientHeight = 3960,
    .border = runtime::BorderStyle::FixedSingle,
};

// Every control of the main window in creation order, the highlight pictures included.
std::span<const runtime::ControlDesign> Form1Layout();

}  // namespace forms
