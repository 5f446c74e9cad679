// SPDX-License-Identifier: MIT
// The numbers MIDI messages are made of.
#pragma once

#include <cstdint>

namespace platform::midi {

// Status bytes of channel messages, the channel (0..15) in their low four bits.
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kStatusMask = 0xF0;
constexpr std::uint8_t kChannelMask = 0x0F;
constexpr std::uint8_t kPercussionChannel = 9;  // channel 10, in General MIDI
constexpr std::uint8_t kReleaseVelocity = 64;   // what keyboards without release sensing send

}  // namespace platform::midi
