// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace music {

// One note on or off, as the song reader (tonarium-song-reader) hands it over on its standard
// output, raw, one after another in time order; the last one, on no channel, is the song's end.
// After it come the names of the tracks that have one, a line each: the track's number, a tab and
// the name.
struct SongEvent {
    double seconds;
    std::uint16_t track;  // 1, 2, ... as the file orders them
    std::uint8_t channel;
    std::uint8_t pitch;
    bool on;
};
constexpr std::uint8_t kSongEnd = 0xFF;

}  // namespace music
