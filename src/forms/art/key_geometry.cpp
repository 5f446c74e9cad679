// SPDX-License-Identifier: MIT
#include "forms/art/key_geometry.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "core/note_map.h"
#include "core/twips.h"

namespace forms::art {
namespace {

using enum KeyStyle;
using enum KeyGlyph;

// Note keys sit exactly where the main window places their highlight pictures, whose layout is
// kept in twips; the digit and letter rows of the other keys share their pixel rows so each row
// stays straight.
constexpr QRect NoteFace(int leftTwips, int topTwips, int widthTwips = 390) {
    return {core::Pixels(leftTwips), core::Pixels(topTwips), core::Pixels(widthTwips),
            core::Pixels(330)};
}

constexpr int kFunctionTop = 3, kFunctionHeight = 20;
constexpr int kDigitTop = 29, kUpperTop = 52, kHomeTop = 76, kNoteRowHeight = 22;
constexpr int kShiftTop = 100, kBottomTop = 123, kLowRowHeight = 20;

const Key kKeys[] = {
    // Escape and the function keys, in groups of four.
    {{4, kFunctionTop, 24, kFunctionHeight}, kPlain, 1, u"esc"},
    {{58, kFunctionTop, 24, kFunctionHeight}, kPlain, 59, u"F1"},
    {{85, kFunctionTop, 24, kFunctionHeight}, kPlain, 60, u"F2"},
    {{112, kFunctionTop, 24, kFunctionHeight}, kPlain, 61, u"F3"},
    {{139, kFunctionTop, 24, kFunctionHeight}, kPlain, 62, u"F4"},
    {{181, kFunctionTop, 24, kFunctionHeight}, kPlain, 63, u"F5"},
    {{208, kFunctionTop, 24, kFunctionHeight}, kPlain, 64, u"F6"},
    {{235, kFunctionTop, 24, kFunctionHeight}, kPlain, 65, u"F7"},
    {{262, kFunctionTop, 24, kFunctionHeight}, kPlain, 66, u"F8"},
    {{304, kFunctionTop, 24, kFunctionHeight}, kPlain, 67, u"F9"},
    {{331, kFunctionTop, 24, kFunctionHeight}, kPlain, 68, u"F10"},
    {{358, kFunctionTop, 24, kFunctionHeight}, kPlain, 87, u"F11"},
    {{385, kFunctionTop, 24, kFunctionHeight}, kPlain, 88, u"F12"},

    // Digit row.
    {{4, kDigitTop, 24, kNoteRowHeight}, kPlain, 41, u"ё"},
    {NoteFace(465, 435), kPlain, 2, u"1"},
    {NoteFace(870, 435), kPlain, 3, u"2"},
    {NoteFace(1275, 435), kPlain, 4, u"3"},
    {NoteFace(1680, 435), kPlain, 5, u"4"},
    {NoteFace(2100, 435), kPlain, 6, u"5"},
    {NoteFace(2520, 435), kPlain, 7, u"6"},
    {NoteFace(2925, 435), kPlain, 8, u"7"},
    {NoteFace(3330, 435), kPlain, 9, u"8"},
    {NoteFace(3735, 435), kPlain, 10, u"9"},
    {NoteFace(4140, 435), kPlain, 11, u"0"},
    {NoteFace(4545, 435), kPlain, 12, u"-"},
    {NoteFace(4950, 435), kPlain, 13, u"="},
    {{357, kDigitTop, 52, kNoteRowHeight}, kPlain, 14, u"bksp"},

    // Upper letter row.
    {{4, kUpperTop, 39, kNoteRowHeight}, kPlain, 15, u"tab"},
    {NoteFace(675, 780), kPlain, 16, u"й"},
    {NoteFace(1080, 780), kPlain, 17, u"ц"},
    {NoteFace(1485, 780), kPlain, 18, u"у"},
    {NoteFace(1905, 780), kPlain, 19, u"к"},
    {NoteFace(2310, 780), kPlain, 20, u"е"},
    {NoteFace(2715, 780), kPlain, 21, u"н"},
    {NoteFace(3120, 780), kPlain, 22, u"г"},
    {NoteFace(3525, 780), kPlain, 23, u"ш"},
    {NoteFace(3930, 780), kPlain, 24, u"щ"},
    {NoteFace(4335, 780), kPlain, 25, u"з"},
    {NoteFace(4740, 780), kPlain, 26, u"х"},
    {NoteFace(5145, 780), kPlain, 27, u"ъ"},
    {NoteFace(5550, 780, 615), kPlain, 43, u"\\"},

    // Home row.
    {{4, kHomeTop, 51, kNoteRowHeight}, kModifier, 58, u"lock"},
    {NoteFace(840, 1140), kPlain, 30, u"ф"},
    {NoteFace(1260, 1140), kPlain, 31, u"ы"},
    {NoteFace(1680, 1140), kPlain, 32, u"в"},
    {NoteFace(2085, 1140), kPlain, 33, u"а"},
    {NoteFace(2490, 1140), kPlain, 34, u"п"},
    {NoteFace(2895, 1140), kPlain, 35, u"р"},
    {NoteFace(3300, 1140), kPlain, 36, u"о"},
    {NoteFace(3705, 1140), kPlain, 37, u"л"},
    {NoteFace(4110, 1140), kPlain, 38, u"д"},
    {NoteFace(4515, 1140), kPlain, 39, u"ж"},
    {NoteFace(4920, 1140), kPlain, 40, u"э"},
    {{355, kHomeTop, 54, kNoteRowHeight}, kPlain, 28, u"ent"},

    // Shift row.
    {{4, kShiftTop, 63, kLowRowHeight}, kModifier, 42, u"shft"},
    {{70, kShiftTop, 24, kLowRowHeight}, kPlain, 44, u"я"},
    {{97, kShiftTop, 24, kLowRowHeight}, kPlain, 45, u"ч"},
    {{124, kShiftTop, 24, kLowRowHeight}, kPlain, 46, u"с"},
    {{151, kShiftTop, 24, kLowRowHeight}, kPlain, 47, u"м"},
    {{178, kShiftTop, 24, kLowRowHeight}, kPlain, 48, u"и"},
    {{205, kShiftTop, 24, kLowRowHeight}, kPlain, 49, u"т"},
    {{232, kShiftTop, 24, kLowRowHeight}, kPlain, 50, u"ь"},
    {{259, kShiftTop, 24, kLowRowHeight}, kPlain, 51, u"б"},
    {{286, kShiftTop, 24, kLowRowHeight}, kPlain, 52, u"ю"},
    {{313, kShiftTop, 24, kLowRowHeight}, kPlain, 53, u"."},
    {{340, kShiftTop, 69, kLowRowHeight}, kModifier, 54, u"shft"},

    // Bottom row.
    {{3, kBottomTop, 40, kLowRowHeight}, kModifier, 29, u"ctrl"},
    {{46, kBottomTop, 24, kLowRowHeight}, kModifier, 219, {}, kWindowsFlag},
    {{73, kBottomTop, 39, kLowRowHeight}, kModifier, 56, u"alt"},
    {{115, kBottomTop, 156, kLowRowHeight}, kPlain, 57, {}},
    {{274, kBottomTop, 39, kLowRowHeight}, kModifier, 184, u"alt"},
    {{316, kBottomTop, 24, kLowRowHeight}, kModifier, 220, {}, kWindowsFlag},
    {{343, kBottomTop, 24, kLowRowHeight}, kModifier, 221, {}, kMenuDocument},
    {{370, kBottomTop, 39, kLowRowHeight}, kModifier, 157, u"ctrl"},
};

}  // namespace

std::span<const Key> Keys() {
    return kKeys;
}

const Key* KeyWithScanCode(int scanCode) {
    const auto* key = std::ranges::find(kKeys, scanCode, &Key::scanCode);
    return key == std::end(kKeys) ? nullptr : key;
}

const Key& KeyOfNote(int note) {
    const auto* row = std::ranges::find(core::NoteMap, note, &core::NoteKey::note);
    const Key* key = row == core::NoteMap.end() ? nullptr : KeyWithScanCode(row->keyCode);
    if (!key) throw std::out_of_range("no key plays note " + std::to_string(note));
    return *key;
}

}  // namespace forms::art
