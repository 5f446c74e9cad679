#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The song the tests play, at 480 pulses a quarter note: a tempo track that doubles the tempo at
// 1 s, and a track of notes: a C major chord (C4 E4 G4), then C2, C7, A4 and G#1, the three
// outside C3..B5 lighting the key of their note moved by octaves into them. Its last note ends at
// 1.5 s.
struct TestSongNote {
    double start;  // seconds
    int note;      // the keyboard's note it plays, 1..36
};
void WriteTestSong(const std::string& path);
std::vector<TestSongNote> TestSongNotes();

}  // namespace testing_support
