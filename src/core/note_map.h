// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>

namespace core {

// Which key plays which note. Key codes are PC scan codes (the physical key counts, not the
// character it types). Notes run down the key columns: digit row, upper letter row, home row;
// the last column ends on the backslash key. Every other table of keys derives from this one.
struct NoteKey {
    std::uint8_t note;     // 1..36
    std::uint8_t keyCode;  // scan code
};

inline constexpr int kNoteCount = 36;

inline constexpr std::array<NoteKey, kNoteCount> NoteMap{{
    {1, 2},   {2, 16},  {3, 30},  {4, 3},   {5, 17},  {6, 31},  {7, 4},   {8, 18},  {9, 32},
    {10, 5},  {11, 19}, {12, 33}, {13, 6},  {14, 20}, {15, 34}, {16, 7},  {17, 21}, {18, 35},
    {19, 8},  {20, 22}, {21, 36}, {22, 9},  {23, 23}, {24, 37}, {25, 10}, {26, 24}, {27, 38},
    {28, 11}, {29, 25}, {30, 39}, {31, 12}, {32, 26}, {33, 40}, {34, 13}, {35, 27}, {36, 43},
}};

// The note a key plays, or 0 when the key plays none.
constexpr int NoteOfKey(int keyCode) {
    for (const NoteKey& row : NoteMap)
        if (row.keyCode == keyCode) return row.note;
    return 0;
}

}  // namespace core
