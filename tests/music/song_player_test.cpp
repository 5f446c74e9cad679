// SPDX-License-Identifier: MIT
// A song played on the main window, its record of presses fed by the song player alone, the song
// driven by a clock of the test's own and the loopback mixer rendered a millisecond of it at a
// time: every note sounds at its time and pitch, lights its key, and the song ends with every key
// let go.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "audio_analysis.h"
#include "fake_backends.h"
#include "forms/form1.h"
#include "music/song_player.h"
#include "recording_services.h"
#include "test_song.h"
#include "wav_fixtures.h"

namespace {

using namespace testing_support;
using testing_support::TempDir;
using namespace std::chrono_literals;
constexpr int kRate = LoopbackBackends::kRate;

// The strength of one frequency in a stretch of sound.
double Level(const std::vector<float>& sound, double frequency) {
    double re = 0, im = 0;
    for (std::size_t i = 0; i < sound.size(); ++i) {
        re += sound[i] * std::cos(2 * M_PI * frequency * i / kRate);
        im += sound[i] * std::sin(2 * M_PI * frequency * i / kRate);
    }
    return 2 * std::hypot(re, im) / sound.size();
}

TEST(SongPlayer, NotesSoundAtTheirTimesAndPitchesLightTheirKeysAndAllGoOut) {
    TempDir folder;
    // Samples of 90 ms: no two of the song's notes sound at once but the chord's.
    std::filesystem::create_directories(folder.path() / "wav/piano");
    for (int slot = 0; slot <= 36; ++slot)
        WriteToneWav(folder.file("wav/piano/" + std::to_string(slot) + ".wav"),
                     {.frequency = NoteFrequency(slot),
                      .seconds = 0.09,
                      .amplitude = slot == 0 ? 0 : 0.5,
                      .subformat = SF_FORMAT_PCM_16});
    RecordingServices services;
    services.appPath = folder.path().string();
    music::Clock::time_point now{};
    music::SongPlayer player(TONARIUM_SONG_READER, [&now] { return now; });
    LoopbackBackends backends;
    dx::Backends devices = backends.Make();
    devices.openKeySources = [&player](core::WindowHandle) {
        dx::KeySources sources;
        sources.push_back(player.Source());
        return sources;
    };
    forms::Form1 form(services, std::move(devices));
    form.Show();
    ASSERT_NE(backends.device, nullptr);
    WriteTestSong(folder.file("song.mid"));
    const music::Song song = music::ReadSong(folder.file("song.mid"), TONARIUM_SONG_READER);
    const std::vector<TestSongNote> expected = TestSongNotes();

    // A millisecond at a time: the song's steps due by then, then that millisecond of the mix.
    // Each note's key is lit for its first 20 ms.
    std::vector<float> left;
    std::vector<bool> lit(expected.size(), true);
    player.Play(song, {});
    for (int ms = 0; ms < 1700; ++ms, now += 1ms) {
        player.Advance();
        for (std::size_t i = 0; i < expected.size(); ++i)
            if (ms >= expected[i].start * 1000 && ms < expected[i].start * 1000 + 20 &&
                !form.Image1(expected[i].note).isVisible())
                lit[i] = false;
        const std::vector<float> part = backends.device->Render(kRate / 1000);
        for (std::size_t i = 0; i < part.size(); i += 2) left.push_back(part[i]);
    }

    EXPECT_FALSE(player.Playing());
    for (int note = 1; note <= 36; ++note) EXPECT_FALSE(form.Image1(note).isVisible()) << note;
    const auto onset = [&](double after) {
        const auto from = static_cast<std::size_t>(std::max(after, 0.0) * kRate);
        for (std::size_t i = from; i < left.size(); ++i)
            if (std::fabs(left[i]) > 1e-3) return static_cast<double>(i) / kRate;
        return -1.0;
    };
    // The first note's onset is the mixer's own delay (the limiter looks ahead).
    const double delay = onset(0);
    EXPECT_LT(delay, 0.005);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double heard = onset(delay + expected[i].start - 0.025);
        EXPECT_NEAR(heard - delay, expected[i].start, 0.0005) << "note " << expected[i].note;
        EXPECT_TRUE(lit[i]) << "note " << expected[i].note << " lit";
        const auto from = static_cast<std::size_t>(heard * kRate);
        const std::vector<float> sound(left.begin() + from, left.begin() + from + kRate * 6 / 100);
        const double pitch = NoteFrequency(expected[i].note);
        if (expected[i].start == 0)  // in the chord
            EXPECT_GT(Level(sound, pitch), 0.15) << "note " << expected[i].note;
        else
            EXPECT_NEAR(RecordedPitch(sound, kRate), pitch, pitch * 0.01) << expected[i].note;
    }
}

}  // namespace
