#pragma once

#include <string>
#include <vector>

namespace music {

// A song: its notes by MIDI pitch, in seconds from its start, in order of their starts.
struct SongNote {
    double start;
    double end;
    int pitch;  // 0..127
};
struct Song {
    std::vector<SongNote> notes;
};

// Reads a Standard MIDI File (format 0 or 1, every track, its tempo map applied), percussion
// (channel 10) left out, through `reader`, the song reader program (tonarium-song-reader,
// installed beside the program). A file that cannot be played raises core::LoadError with the
// reason in the window's language: not found, not a MIDI file, cut short, damaged, larger than
// 16 MB, not read within 5 s, no notes. Takes up to those 5 s: not for the event loop.
Song ReadSong(const std::string& path, const std::string& reader);

// The song reader's file name, in the program's own folder.
inline constexpr const char* kSongReader = "tonarium-song-reader";

}  // namespace music
