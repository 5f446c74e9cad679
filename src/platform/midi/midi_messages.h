#pragma once

#include <array>
#include <cstdint>

namespace platform::midi {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kReleaseVelocity = 64;  // what keyboards without release sensing send
// Note 1 of the keyboard is C3, MIDI note 48.
constexpr int kNoteNumberOffset = 47;

// A note of the keyboard (1..36) going on or off on a channel (0..15).
inline std::array<std::uint8_t, 3> Note(int note, bool on, int velocity, int channel) {
    return {static_cast<std::uint8_t>((on ? kNoteOn : kNoteOff) | channel),
            static_cast<std::uint8_t>(kNoteNumberOffset + note),
            static_cast<std::uint8_t>(on ? velocity : kReleaseVelocity)};
}

}  // namespace platform::midi
