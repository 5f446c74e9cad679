// SPDX-License-Identifier: MIT
// The recording on a clock of the test's own, read back by another reader than the program's
// (portSMF): every note at its time, to the file's resolution, on the channel and at the velocity
// chosen, and a note still held when the file is written ends there.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "music/notes.h"
#include "music/recording.h"
#include "wav_fixtures.h"
#include "written_notes.h"

namespace {

using namespace std::chrono_literals;

TEST(Recording, NotesAreWrittenAtTheirTimesOnTheChannelAndVelocityChosen) {
    testing_support::TempDir files;
    const std::string path = files.file("take.mid");
    music::Clock::time_point now = music::Clock::time_point{} + 5s;
    const music::Now clock = [&now] { return now; };
    platform::KeyPresses record;
    music::Notes notes(record, clock);
    music::Recording recording(path, {.channel = 3, .velocity = 64}, clock);
    notes.Listen([&recording](const music::NoteEvent& note) { recording.Play(note); });
    recording.SetProgram(music::kOrganProgram);  // before the first note: at its start
    platform::KeyReport keys = record.NewSource();

    // Q, W, E and 1 (MIDI 49, 52, 55 and 48), with the times of their presses and releases from
    // the first press; 1 is still held when the file is written, at 0.9 s.
    struct Played {
        unsigned code;
        int pitch;
        double down, up;
    };
    const std::vector<Played> played = {
        {16, 49, 0, 0.08}, {17, 52, 0.2, 0.45}, {18, 55, 0.3, 0.35}, {2, 48, 0.6, 0.9}};
    const auto at = [](double seconds) {
        return music::Clock::time_point{} + 7s +
               std::chrono::duration_cast<music::Clock::duration>(
                   std::chrono::duration<double>(seconds));
    };
    std::vector<std::tuple<double, unsigned, bool>> moves;
    for (const Played& note : played) {
        moves.emplace_back(note.down, note.code, true);
        if (note.code != 2) moves.emplace_back(note.up, note.code, false);
    }
    std::sort(moves.begin(), moves.end());
    for (const auto& [seconds, code, down] : moves) {
        now = at(seconds);
        down ? keys.Down(code) : keys.Up(code);
    }
    now = at(0.9);
    recording.Write();

    std::string error;
    const auto written = testing_support::ReadWrittenNotes(path, &error);
    ASSERT_EQ(written.size(), played.size()) << error;
    // A pulse of the file is about half a millisecond.
    for (std::size_t i = 0; i < played.size(); ++i) {
        EXPECT_EQ(written[i].pitch, played[i].pitch);
        EXPECT_NEAR(written[i].time, played[i].down, 0.0006) << played[i].pitch;
        EXPECT_NEAR(written[i].time + written[i].duration, played[i].up, 0.0006) << played[i].pitch;
        EXPECT_EQ(written[i].channel, 2) << "channel 3";
        EXPECT_EQ(written[i].velocity, 64);
    }
}

}  // namespace
