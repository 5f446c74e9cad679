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

// A lesson in two hands, as a learner's file has them: a tempo track, then the right hand
// («Правая рука», channel 1) and the left («Левая рука», channel 2), at 480 pulses a quarter note
// and 120 a minute, twice as fast from 1.25 s on. The right hand plays C4+E4 at 0.5 s, D4 at 1 s
// and C4 at 1.375 s; the left plays C3 with the first chord and G2, below the keys, at 0.75 s.
// Each note lasts 192 pulses.
void WriteLessonSong(const std::string& path);

}  // namespace testing_support
