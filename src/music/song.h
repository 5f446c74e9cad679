// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace music {

// One voice of a song: the notes of one track on one channel (a piano score's right or left
// hand, say), which a player may take as their part.
struct SongPart {
    int track;            // 1, 2, ... in the file
    int channel;          // 0..15
    std::string name;     // the track's name, or ""
    int notes = 0;        // how many notes it has
    int notesOnKeys = 0;  // how many of those lie on the keys, C3..B5
};

// A note by MIDI pitch, in seconds from the song's start.
struct SongNote {
    double start;
    double end;
    int pitch;  // 0..127
    int part;   // its index in Song::parts
};

// A song: its notes in order of their starts, its parts in order of track and channel.
struct Song {
    std::string name;  // the file's name without its folder and extension
    std::vector<SongNote> notes;
    std::vector<SongPart> parts;
    double length = 0;  // seconds, to its last note's end or the end of its last track

    // The part with the most notes on the keys: the one a player most likely wants to play.
    int LikelyPart() const;
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
