// SPDX-License-Identifier: MIT
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

// A lesson in two hands, at 480 pulses a quarter note and 120 a minute: the right hand («Правая
// рука», channel 1) plays C4+E4 at 0.5 s, D4 at 1 s and C4 at 1.5 s; the left («Левая рука»,
// channel 2) plays C3 with the first chord and G3 at 0.75 s. Each note lasts 0.2 s.
void WriteLessonSong(const std::string& path);

}  // namespace testing_support
