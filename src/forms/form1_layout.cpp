// SPDX-License-Identifier: MIT
#include "forms/form1_layout.h"

#include "core/note_map.h"
#include "forms/art/keyboard_art.h"
#include "runtime/twips.h"

#include <vector>

namespace forms {

using core::kNoteCount;
using core::NoteKey;
using core::NoteMap;

namespace {

using runtime::ControlDesign;
using runtime::ControlKind;

constexpr ControlDesign kControls[] = {
    {.name = "Timer1", .kind = ControlKind::Timer, .interval = 40},
    {.name = "Frame3", .kind = ControlKind::Frame, .place = {2220, 0, 4215, 1395}, .tabIndex = 5},
    {.name = "Command1",
     .kind = ControlKind::CommandButton,
     .container = "Frame3",
     .place = {2760, 180, 1335, 1095},
     .caption = "Выход",
     .tabIndex = 0,
     .toolTip = "выход нах"},
    {.name = "Command2",
     .kind = ControlKind::CommandButton,
     .container = "Frame3",
     .place = {120, 720, 2655, 555},
     .caption = "Порядок нот",
     .tabIndex = 6},
    {.name = "Command3",
     .kind = ControlKind::CommandButton,
     .container = "Frame3",
     .place = {120, 180, 2655, 555},
     .caption = "О программе",
     .tabIndex = 9},
    {.name = "Frame1", .kind = ControlKind::Frame, .place = {120, 0, 2055, 1395}, .tabIndex = 1},
    {.name = "Option1",
     .kind = ControlKind::OptionButton,
     .container = "Frame1",
     .place = {60, 180, 1875, 375},
     .caption = "Пианино",
     .tabIndex = 4,
     .selected = true},
    {.name = "Option2",
     .kind = ControlKind::OptionButton,
     .container = "Frame1",
     .place = {60, 900, 1875, 375},
     .caption = "Орган",
     .tabIndex = 3},
    {.name = "Option3",
     .kind = ControlKind::OptionButton,
     .container = "Frame1",
     .place = {60, 540, 1875, 375},
     .caption = "Гитара",
     .tabIndex = 2,
     .enabled = false},
    {.name = "Frame4", .kind = ControlKind::Frame, .place = {120, 1380, 6315, 2475}, .tabIndex = 7},
    {.name = "Picture1",
     .kind = ControlKind::PictureBox,
     .container = "Frame4",
     .place = {60, 180, 6180, 2160},
     .tabIndex = 8},
};

// Each highlight lies exactly over its key of the drawing, so its place comes from there.
std::vector<ControlDesign> WithHighlights() {
    std::vector<ControlDesign> layout(std::begin(kControls), std::end(kControls));
    for (const NoteKey& row : NoteMap) {
        const QRect place = art::HighlightRect(row.note);
        constexpr int twips = core::kTwipsPerPixel;
        layout.push_back({.name = "Image1",
                          .index = row.note,
                          .kind = ControlKind::Image,
                          .container = "Picture1",
                          .place = {place.x() * twips, place.y() * twips, place.width() * twips,
                                    place.height() * twips},
                          .visible = false});
    }
    return layout;
}

}  // namespace

std::span<const ControlDesign> Form1Layout() {
    static const std::vector<ControlDesign> layout = WithHighlights();
    return layout;
}

}  // namespace forms
