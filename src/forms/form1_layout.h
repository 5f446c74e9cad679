#pragma once

#include <vector>

#include "runtime/control_spec.h"

namespace forms {

inline constexpr runtime::FormSpec kForm1{
    .caption = "Музыкальный тонариум v 1.01",
    .clientWidth = 6540,
    .clientHeight = 3960,
    .border = runtime::BorderStyle::FixedSingle,
};

// Every control of the main window in creation order, the highlight pictures included.
std::vector<runtime::ControlSpec> Form1Layout();

}  // namespace forms
