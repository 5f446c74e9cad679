// SPDX-License-Identifier: MIT
// Songs and recordings on the built program, under a virtual X server, as a person uses them: a
// song given on the command line or dropped on the window lights its keys and ends by itself,
// Escape stops it, a broken file is told and changes nothing; keys pressed through XTest are
// recorded, on the channel and at the velocity asked for, and read back by another library than the
// program's (portSMF).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "program_under_test.h"
#include "test_song.h"
#include "written_notes.h"
#include "xdnd.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using namespace std::string_literals;
constexpr auto Lit = &ProgramUnderTest::Lit;

bool Dark(const QImage& window) {
    for (int note = 1; note <= 36; ++note)
        if (Lit(window, note)) return false;
    return true;
}

TEST(SongEndToEnd, PlaysFromTheCommandLineAndDroppedEscapeStopsItABrokenFileChangesNothing) {
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    TempDir files;
    const std::string song = files.file("song.mid"), broken = files.file("broken.mid");
    WriteTestSong(song);
    WriteBytes(broken, "MThd\0\0\0\6\0\1\0\1\1\340MTrk\0\0\1\0"s);
    ProgramUnderTest program(xvfb, {.sound = ProgramUnderTest::Sound::kNone, .arguments = {song}});
    program.Start();
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u) << program.Errors();
    const auto chord = [](const QImage& now) {
        return Lit(now, 13) && Lit(now, 17) && Lit(now, 20);
    };
    EXPECT_TRUE(chord(program.GrabUntil(window, chord, 5, 20ms))) << "C4 E4 G4";
    EXPECT_TRUE(Lit(program.GrabUntil(
                        window, [](const QImage& now) { return Lit(now, 9); }, 3, 20ms),
                    9))
        << "G#1, on the key of G#3";
    const QImage ended = program.GrabUntil(window, Dark, 3);
    EXPECT_TRUE(Dark(ended)) << "the song ends with every key let go";

    ASSERT_TRUE(DropFile(xvfb.display(), window, broken));
    const unsigned long message = program.WaitForWindow("Тонариум");
    ASSERT_NE(message, 0u) << "the broken file is told";
    program.Xdotool("windowfocus --sync " + std::to_string(message) + " key Return");
    EXPECT_EQ(program.WaitForWindow("Тонариум", 0), 0u);
    const QRect keyboard = ProgramUnderTest::kKeyboardDrawing;
    EXPECT_EQ(program.SteadyGrab(window).copy(keyboard), ended.copy(keyboard))
        << "and nothing else changes";

    ASSERT_TRUE(DropFile(xvfb.display(), window, song));
    EXPECT_TRUE(chord(program.GrabUntil(window, chord, 5, 20ms))) << "the dropped song plays";
    program.Xdotool("windowfocus --sync " + std::to_string(window) + " key Escape");
    EXPECT_TRUE(Dark(program.GrabUntil(window, Dark, 1)));
    std::this_thread::sleep_for(600ms);  // past the next note of the song, at 0.5 s
    EXPECT_TRUE(Dark(program.Grab(window))) << "Escape stopped the song";
    EXPECT_EQ(program.Quit(), 0);
}

// The parameter: the signal that ends the program, 0 for «Выход».
class RecordingEndToEnd : public testing::TestWithParam<int> {};

TEST_P(RecordingEndToEnd, KeysPlayedAreWrittenInOrderWithTheirTimes) {
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    TempDir files;
    const std::string recording = files.file("take.mid");
    ProgramUnderTest program(
        xvfb, {.sound = ProgramUnderTest::Sound::kNone,
               .arguments = {"--record", recording, "--channel", "3", "--velocity", "64"}});
    program.Start();
    ASSERT_NE(program.MainWindow(), 0u) << program.Errors();
    // Q, W, E and 1: notes 2, 5, 8 and 1, MIDI 49, 52, 55 and 48, at these times; each time then
    // becomes the one its key went out at.
    struct {
        const char* key;
        int pitch;
        double down, up;
    } played[] = {
        {"q", 49, 0, 0.08}, {"w", 52, 0.2, 0.45}, {"e", 55, 0.3, 0.35}, {"1", 48, 0.6, 0.7}};
    std::vector<std::tuple<double, double*, const char*, bool>> moves;
    for (auto& note : played) {
        moves.push_back({note.down, &note.down, note.key, true});
        moves.push_back({note.up, &note.up, note.key, false});
    }
    std::sort(moves.begin(), moves.end());
    const auto first = std::chrono::steady_clock::now() + 200ms;
    for (const auto& [at, sent, key, down] : moves) {
        std::this_thread::sleep_until(first + std::chrono::duration<double>(at));
        program.Key(key, down);
        *sent = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(GetParam() ? program.EndWith(GetParam()) : program.Quit(), 0);

    std::string error;
    const std::vector<WrittenNote> notes = ReadWrittenNotes(recording, &error);
    ASSERT_EQ(notes.size(), std::size(played)) << error << program.Errors();
    // The recording starts at its first note; each time is held against the presses' times, all
    // moved by the delay the presses took to reach the program on the whole (their median). A
    // busy machine holds up a press by some milliseconds; half a 40 ms tick still tells times
    // taken at the tick, or a wrong tempo, from the presses' own.
    std::vector<double> late;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].pitch, played[i].pitch);
        EXPECT_EQ(notes[i].channel, 2) << "--channel 3";
        EXPECT_EQ(notes[i].velocity, 64);
        late.push_back(notes[i].time - played[i].down);
        late.push_back(notes[i].time + notes[i].duration - played[i].up);
    }
    std::vector<double> sorted = late;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    for (std::size_t i = 0; i < late.size(); ++i)
        EXPECT_NEAR(late[i], sorted[sorted.size() / 2], 0.015)
            << played[i / 2].key << (i % 2 ? " up" : " down");
}

INSTANTIATE_TEST_SUITE_P(EndedByQuitAndBySigterm, RecordingEndToEnd, testing::Values(0, SIGTERM));

}  // namespace
