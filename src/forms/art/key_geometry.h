// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>
#include <QStringView>
#include <span>

namespace forms::art {

// Size of the keyboard drawing in logical pixels.
inline constexpr int kKeyboardWidth = 412;
inline constexpr int kKeyboardHeight = 144;

enum class KeyStyle { kPlain, kModifier };

// What a key shows besides (or instead of) its text label.
enum class KeyGlyph { kNone, kWindowsFlag, kMenuDocument };

struct Key {
    QRect face;  // drawing pixels
    KeyStyle style;
    int scanCode;       // PC scan code; note keys are found through NoteMap by it
    QStringView label;  // as printed on the main drawing; empty for the space bar and glyph keys
    KeyGlyph glyph = KeyGlyph::kNone;
};

// Every key of the drawn keyboard, row by row from the top, left to right.
std::span<const Key> Keys();

// The key with this scan code, or nullptr when the drawing has none.
const Key* KeyWithScanCode(int scanCode);

// The key that plays note 1..36, by NoteMap; throws std::out_of_range for any other note.
const Key& KeyOfNote(int note);

}  // namespace forms::art
