// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

#include "runtime/color.h"
#include "runtime/twips.h"

namespace runtime {

enum class ControlKind {
    Frame,          // QGroupBox; its caption may be empty
    CommandButton,  // QPushButton
    OptionButton,   // QRadioButton, exclusive with the other options of its container
    Label,          // QLabel, left-aligned, no border
    PictureBox,     // QLabel with a white background, sized to its picture
    Image,          // QLabel showing a picture, sized to it
    Timer,          // runtime::Timer; has no place on the window
};

// Marks a control that is not an element of a control array.
inline constexpr int kNoIndex = -1;

// One control of a window's design. Tables of these list the controls in creation order; a
// container must come before the controls inside it.
struct ControlDesign {
    std::string_view name{};
    int index = kNoIndex;  // element of a control array
    ControlKind kind = ControlKind::Label;
    std::string_view container{};  // empty: the window itself
    TwipsRect place{};
    std::string_view caption{};  // UTF-8
    int tabIndex = -1;           // -1: takes no part in the tab order
    bool enabled = true;
    bool visible = true;
    bool tabStop = true;     // false: Tab passes by, a click still gives the focus
    bool selected = false;   // option button chosen at start
    bool wordWrap = false;   // label
    bool isDefault = false;  // Enter clicks this button
    bool isCancel = false;   // Esc clicks this button
    std::string_view toolTip{};
    std::optional<Color> foreColor{};
    std::optional<Color> backColor{};
    int interval = 0;  // timer, milliseconds; 0 never ticks
};

enum class BorderStyle {
    FixedSingle,  // title bar, minimise and close boxes, no maximise; in the task bar
    FixedDialog,  // title bar and close box only; a dialog window, which task bars leave out
};

struct FormDesign {
    std::string_view caption{};  // UTF-8
    int clientWidth = 0;         // twips
    int clientHeight = 0;        // twips
    BorderStyle border = BorderStyle::FixedSingle;
};

}  // namespace runtime
