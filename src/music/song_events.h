#pragma once

#include <cstdint>

namespace music {

// One note on or off, as the song reader (tonarium-song-reader) hands it over on its standard
// output, raw, one after another in time order; the last one, on no channel, is the song's end.
struct SongEvent {
    double seconds;
    std::uint8_t channel;
    std::uint8_t pitch;
    bool on;
};
constexpr std::uint8_t kSongEnd = 0xFF;

}  // namespace music
