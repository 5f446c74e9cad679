// SPDX-License-Identifier: MIT
#include "forms/form2_layout.h"

namespace forms {

namespace {

using runtime::ControlDesign;
using runtime::ControlKind;

constexpr ControlDesign kControls[] = {
    {.name = "Frame1",
     .kind = ControlKind::Frame,
     .place = {60, 120, 6435, 3255},
     .caption = "Порядок расположения нот на клавиатуре",
     .tabIndex = 0},
    // Takes the size of the chart it shows.
    {.name = "Picture1",
     .kind = ControlKind::PictureBox,
     .container = "Frame1",
     .place = {120, 480, 6180, 2160},
     .tabIndex = 1},
    {.name = "Frame2", .kind = ControlKind::Frame, .place = {60, 3360, 6435, 735}, .tabIndex = 2},
    // Esc closes the window wherever the focus is.
    {.name = "Command1",
     .kind = ControlKind::CommandButton,
     .container = "Frame2",
     .place = {3480, 180, 2835, 435},
     .caption = "Закрыть",
     .tabIndex = 3,
     .isCancel = true},
};

}  // namespace

std::span<const ControlDesign> Form2Layout() {
    return kControls;
}

}  // namespace forms
