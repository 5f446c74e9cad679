// SPDX-License-Identifier: MIT
// Practice and tempo on a song made in code, played into a record of presses beside a keyboard
// the test presses, on the test's own clock: the song waits at each chord of the part, with what
// starts with it; only fresh presses of the chord's keys move it on; wrong keys and lateness are
// scored; the marks show the chord to press; a tempo of 50 % doubles the time between notes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>

#include "core/note_map.h"
#include "music/notes.h"
#include "music/song_player.h"
#include "test_song.h"
#include "wav_fixtures.h"

namespace {

using namespace std::chrono_literals;
using music::Clock;

constexpr int kC4 = 13, kD4 = 15, kE4 = 17, kC3 = 1, kG3 = 8;  // notes of the keyboard
unsigned Key(int note) {
    return core::NoteMap[note - 1].keyCode;
}

// The player's part (0): C4+E4 at 1 s, D4 at 1.5 s, C4 at 2 s. The other (1): C3 at 0 s and with
// the first chord, G3 at 1.25 s.
music::Song LessonSong() {
    music::Song song{
        .name = "lesson", .notes = {}, .parts = {{1, 0, "right"}, {2, 1, "left"}}, .length = 2.5};
    for (auto [start, note, part] : {std::tuple{0.0, kC3, 1},
                                     {1.0, kC4, 0},
                                     {1.0, kE4, 0},
                                     {1.0, kC3, 1},
                                     {1.25, kG3, 1},
                                     {1.5, kD4, 0},
                                     {2.0, kC4, 0}})
        song.notes.push_back({start, start + 0.2, music::MidiNumber(note), part});
    return song;
}

struct Lesson : testing::Test {
    int argc = 0;
    QCoreApplication app{argc, nullptr};  // for the player's timer
    Clock::time_point now{};
    platform::KeyPresses record;
    music::Notes notes{record, [this] { return now; }};
    music::SongPlayer player{"", [this] { return now; }};
    platform::KeyReport keyboard = record.NewSource();
    std::unique_ptr<platform::KeySource> song = player.Source();
    music::NoteKeys marked{};

    void SetUp() override {
        song->Start(record.NewSource(platform::KeyOrigin::kSong));
        notes.Listen([this](const music::NoteEvent& note) { player.Hear(note); });
        player.OnMarks([this](const music::NoteKeys& keys) { marked = keys; });
    }
    // The clock moved on to `seconds`, the player advanced a millisecond at a time.
    void At(double seconds) {
        while (now < Clock::time_point{} + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(seconds))) {
            now += 1ms;
            player.Advance();
        }
    }
    void Press(int note) { keyboard.Down(Key(note)); }
    void Release(int note) { keyboard.Up(Key(note)); }
    bool Held(int note) const { return record.Held(Key(note)); }
};

TEST_F(Lesson, WaitsForEachChordOfThePartAndScoresIt) {
    player.Play(LessonSong(), {.practice = true, .part = 0, .tempo = 100});
    EXPECT_TRUE(Held(kC3));
    EXPECT_TRUE(marked[kC4] && marked[kE4] && !marked[kD4]) << "the first chord, from the start";
    At(3.0);
    EXPECT_TRUE(player.Waiting());
    EXPECT_DOUBLE_EQ(player.Position(), 1.0);
    EXPECT_FALSE(Held(kC4) || Held(kG3)) << "the part is the player's; the rest waits";

    Press(kC3);  // a wrong key
    Press(kC4);  // half the chord
    At(3.1);
    EXPECT_TRUE(player.Waiting());
    Press(kE4);
    At(3.2);
    EXPECT_FALSE(player.Waiting());
    EXPECT_TRUE(marked[kD4] && !marked[kC4]) << "the next chord, once this one is done";
    At(3.5);
    EXPECT_TRUE(Held(kG3)) << "on from the chord: G3 0.25 s after it";

    Release(kE4);
    Press(kD4);  // on time, at 1.5 s of the song
    At(4.2);     // the song at 2.0: C4, still held from the first chord, does not count
    EXPECT_TRUE(player.Waiting());
    Release(kC4);
    At(4.3);
    Press(kC4);
    At(4.6);
    EXPECT_FALSE(player.Playing()) << "the song ended with its last chord";
    const music::Practice::Score& score = *player.score();
    EXPECT_EQ(score.played, 4);
    EXPECT_EQ(score.notes, 4);
    EXPECT_EQ(score.wrong, 1);
    ASSERT_EQ(score.lateness.size(), 3u);
    EXPECT_NEAR(score.lateness[0], 2.1, 0.0015);   // due at 1.0 s, done at 3.1 s
    EXPECT_NEAR(score.lateness[1], -0.1, 0.0015);  // due 0.5 s after the first: at 3.6 s
    EXPECT_NEAR(score.lateness[2], 0.2, 0.0015);   // due at 4.1 s
    EXPECT_NEAR(score.MedianLateness(), 0.2, 0.0015);
    EXPECT_EQ(marked, music::NoteKeys{});
}

TEST_F(Lesson, AtHalfTheTempoEveryNoteComesTwiceAsLateAndTheNextChordIsMarkedBeforeIt) {
    player.Play(LessonSong(), {.practice = false, .part = 0, .tempo = 50});
    At(1.749);
    EXPECT_FALSE(marked[kC4]);
    At(1.751);
    EXPECT_TRUE(marked[kC4] && marked[kE4]) << "a quarter of a second before the chord";
    At(1.999);
    EXPECT_FALSE(Held(kC4));
    At(2.001);
    EXPECT_TRUE(Held(kC4) && Held(kE4)) << "the chord at 1 s of the song, 2 s at half the tempo";
    At(2.499);
    EXPECT_FALSE(Held(kG3));
    At(2.501);
    EXPECT_TRUE(Held(kG3));
}

// A learner's file: a tempo track, a track a hand, named, a note below the keys.
TEST(LessonFile, ItsPartsAreItsHandsNamedAndTheRightHandsChordsFollowTheTempoMap) {
    testing_support::TempDir files;
    testing_support::WriteLessonSong(files.file("lesson.mid"));
    const music::Song song = music::ReadSong(files.file("lesson.mid"), TONARIUM_SONG_READER);
    EXPECT_EQ(song.name, "lesson");
    ASSERT_EQ(song.parts.size(), 2u);
    EXPECT_EQ(song.parts[0].name, "Правая рука");
    EXPECT_EQ(song.parts[1].name, "Левая рука");
    EXPECT_EQ(song.parts[1].notesOnKeys, 1) << "G2 lies below the keys";
    EXPECT_EQ(song.LikelyPart(), 0);
    const music::Practice practice(song, 0);
    ASSERT_EQ(practice.chords().size(), 3u);
    EXPECT_EQ(practice.chords()[0].notes, 2);
    EXPECT_TRUE(practice.chords()[0].keys[kC4] && practice.chords()[0].keys[kE4]);
    EXPECT_NEAR(practice.chords()[2].at, 1.375, 1e-9) << "twice as fast from 1.25 s";
}

}  // namespace
