// SPDX-License-Identifier: MIT
#include "forms/form3_layout.h"

namespace forms {

namespace {

using runtime::ControlDesign;
using runtime::ControlKind;

constexpr ControlDesign kControls[] = {
    {.name = "Frame1", .kind = ControlKind::Frame, .place = {60, 0, 5235, 1275}, .tabIndex = 0},
    {.name = "Label1",
     .kind = ControlKind::Label,
     .container = "Frame1",
     .place = {120, 180, 2655, 255},
     .caption = "Автор программы: Нотописцев",
     .tabIndex = 1},
    // The label paints its own background behind the link.
    {.name = "Label2",
     .kind = ControlKind::Label,
     .container = "Frame1",
     .place = {120, 900, 4995, 255},
     .caption = kLinkCaption,
     .tabIndex = 2,
     .foreColor = kLinkNormal,
     .backColor = runtime::Rgb(128, 128, 255)},
    {.name = "Label3",
     .kind = ControlKind::Label,
     .container = "Frame1",
     .place = {120, 540, 2715, 195},
     .caption = "Версия программы: 1.01 beta",
     .tabIndex = 3},
    // Esc closes the window; Enter and space do too, the button having the focus.
    {.name = "Command1",
     .kind = ControlKind::CommandButton,
     .container = "Frame1",
     .place = {3240, 180, 1875, 435},
     .caption = "Закрыть",
     .tabIndex = 4,
     .isCancel = true},
    {.name = "Frame2", .kind = ControlKind::Frame, .place = {60, 1260, 5235, 855}, .tabIndex = 5},
    {.name = "Label4",
     .kind = ControlKind::Label,
     .container = "Frame2",
     .place = {120, 240, 4275, 495},
     .caption = "Программа для воспроизведения игры музыкальных инструментов при помощи "
                "клавиатуры",
     .tabIndex = 6,
     .wordWrap = true},
};

}  // namespace

std::span<const ControlDesign> Form3Layout() {
    return kControls;
}

}  // namespace forms
