// SPDX-License-Identifier: MIT
// Practice and tempo on the built program, under a virtual X server, keys pressed through XTest:
// the song waits for the player on its marked keys, silent until the player plays; only a chord
// whole, of fresh presses, moves it on; a wrong key sounds and counts; the score is said at the
// end. At half the tempo the notes come twice as far apart.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio_analysis.h"
#include "program_under_test.h"
#include "test_song.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
constexpr auto Lit = &ProgramUnderTest::Lit;
constexpr auto Marked = &ProgramUnderTest::Marked;
// The lesson's notes on the keyboard, and the keys that play them.
constexpr int kC3 = 1, kG3 = 8, kC4 = 13, kD4 = 15, kE4 = 17;

TEST(PracticeEndToEnd, TheSongWaitsForEachChordOfThePlayersFreshPressesAndScoresThem) {
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    TempDir files;
    const std::string lesson = files.file("lesson.mid");
    WriteLessonSong(lesson);
    ProgramUnderTest program(xvfb, {.arguments = {"--practice", lesson}});
    program.Start();
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u) << program.Errors();
    const auto marked = [](std::initializer_list<int> notes) {
        return [notes](const QImage& now) {
            for (int note : notes)
                if (!Marked(now, note)) return false;
            return true;
        };
    };
    EXPECT_TRUE(marked({kC4, kE4})(program.GrabUntil(window, marked({kC4, kE4}))));
    EXPECT_NE(program.WaitForWindow("Песня"), 0u) << "the song's window";
    std::this_thread::sleep_for(2s);
    const QImage waiting = program.Grab(window);
    EXPECT_TRUE(marked({kC4, kE4})(waiting));
    EXPECT_FALSE(Lit(waiting, kC3) || Lit(waiting, kG3)) << "the left hand waits with the right";
    EXPECT_TRUE(program.FirstSoundHeard(0.1).empty()) << "nothing sounds by itself";

    program.Key("2", true);  // a wrong key: it sounds, and counts
    std::this_thread::sleep_for(500ms);
    const std::vector<float> wrong = program.FirstSoundHeard(0.3, 3000ms);
    EXPECT_NEAR(RecordedPitch(wrong, ProgramUnderTest::kSoundRate), NoteFrequency(4),
                NoteFrequency(4) * 0.01);
    program.Key("2", false);
    program.Key("5", true);  // C4, held from here on
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(Marked(program.Grab(window), kE4)) << "half a chord does not move the song";
    program.Key("y", true);
    program.Key("y", false);
    EXPECT_TRUE(
        Lit(program.GrabUntil(window, [](const QImage& now) { return Lit(now, kG3); }), kG3))
        << "the left hand goes on";
    program.Key("g", true);  // D4
    program.Key("g", false);
    // The next chord is C4, held since the first: the song waits on it until it is let go,
    // shown marked again, and pressed again.
    std::this_thread::sleep_for(500ms);
    program.Key("5", false);
    EXPECT_TRUE(marked({kC4})(program.GrabUntil(window, marked({kC4}))))
        << "a key held from before does not count";
    program.Key("5", true);
    program.Key("5", false);
    const auto said = [&program] {
        return program.Errors().find(
                   "practice «lesson»: 4 of 4 notes played, 1 wrong keys, "
                   "median lateness ") != std::string::npos;
    };
    for (int tries = 0; tries < 50 && !said(); ++tries) std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(said()) << program.Errors();
    EXPECT_EQ(program.Quit(), 0);
}

TEST(PracticeEndToEnd, AtTempoFiftyTheNotesComeTwiceAsFarApart) {
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    TempDir files;
    const std::string lesson = files.file("lesson.mid");
    WriteLessonSong(lesson);
    ProgramUnderTest program(
        xvfb, {.sound = ProgramUnderTest::Sound::kNone, .arguments = {"--tempo", "50", lesson}});
    program.Start();
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u) << program.Errors();
    // C4 sounds at 0.5 s of the song, D4 at 1 s: a second apart at half the tempo.
    const auto lit = [&](int note) {
        program.GrabUntil(
            window, [note](const QImage& now) { return Lit(now, note); }, 10, 10ms);
        return std::chrono::steady_clock::now();
    };
    const auto first = lit(kC4);
    const double apart = std::chrono::duration<double>(lit(kD4) - first).count();
    EXPECT_NEAR(apart, 1.0, 0.2) << "0.5 s at the song's own tempo";
    EXPECT_EQ(program.Quit(), 0);
}

}  // namespace
