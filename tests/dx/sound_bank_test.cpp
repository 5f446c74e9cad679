// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "audio_analysis.h"
#include "dx/direct_sound_module.h"
#include "fake_backends.h"
#include "wav_fixtures.h"

namespace {

using testing_support::EstimateFrequency;
using testing_support::FirstSoundingFrame;
using testing_support::LoopbackBackends;
using testing_support::Peak;
using testing_support::RecordingHighlights;
using testing_support::TempDir;
using testing_support::ToneSpec;
using testing_support::WriteToneWav;

constexpr int kRate = LoopbackBackends::kRate;
constexpr int kUpdate = 240;  // one mixer period of the shipped configuration

int ErrorNumber(const std::function<void()>& call) {
    try {
        call();
    } catch (const core::RunTimeError& error) {
        return error.number();
    }
    return 0;
}

TEST(BlockAlignTest, RoundsHalvesToEven) {
    using dx::DirectSoundModule;
    EXPECT_EQ(DirectSoundModule::BlockAlign(8, 1), 1);
    EXPECT_EQ(DirectSoundModule::BlockAlign(16, 2), 4);
    EXPECT_EQ(DirectSoundModule::BlockAlign(12, 1), 2);  // 1.5
    EXPECT_EQ(DirectSoundModule::BlockAlign(4, 1), 0);   // 0.5
    EXPECT_EQ(DirectSoundModule::BlockAlign(20, 1), 2);  // 2.5
    EXPECT_EQ(DirectSoundModule::BlockAlign(24, 1), 3);
    EXPECT_EQ(DirectSoundModule::BlockAlign(32767, 8), 32767);
    EXPECT_EQ(DirectSoundModule::BlockAlign(-32768, 8), -32768);
    EXPECT_EQ(ErrorNumber([] { DirectSoundModule::BlockAlign(32767, 16); }), 6);
    EXPECT_EQ(ErrorNumber([] { DirectSoundModule::BlockAlign(-32768, 9); }), 6);
}

class SoundBankTest : public ::testing::Test {
  protected:
    SoundBankTest() : module(image1, backends.Make()) {
        module.InitSound(1);
        module.ResizeBank(36);
    }

    std::string Tone(const std::string& name, double frequency, double seconds = 0.5,
                     double amplitude = 0.25) {
        const std::string path = dir.file(name);
        WriteToneWav(path, ToneSpec{.frequency = frequency,
                                    .seconds = seconds,
                                    .amplitude = amplitude,
                                    .subformat = SF_FORMAT_PCM_16});
        return path;
    }
    void Load(std::int16_t slot, const std::string& path) {
        module.LoadSample(slot, path, 22050, 8, 1);
    }
    std::vector<float> Render(double seconds) {
        return backends.device->Render(static_cast<int>(seconds * kRate));
    }

    TempDir dir;
    LoopbackBackends backends;
    RecordingHighlights image1;
    dx::DirectSoundModule module;
};

TEST_F(SoundBankTest, ReplayRestartsFromTheFirstSampleWithOneVoice) {
    Load(1, Tone("a.wav", 440));
    module.PlayNote(1);
    const std::vector<float> first = Render(0.2);
    module.PlayNote(1);
    const std::vector<float> again = Render(0.2);
    // The mixer starts a voice a fixed few frames into its next update; the old strike sounds
    // until then, and from there on only the new one.
    const long onset = FirstSoundingFrame(first);
    ASSERT_GE(onset, 0);
    for (std::size_t i = onset * 2; i < first.size(); i += 97)
        ASSERT_NEAR(again[i], first[i], 1e-3) << "frame " << i / 2 << " differs after a replay";
}

TEST_F(SoundBankTest, PlayingSlotsMixTogether) {
    Load(1, Tone("a.wav", 440));
    Load(2, Tone("b.wav", 660));
    module.PlayNote(1);
    const std::vector<float> a = Render(0.2);
    Render(0.4);  // let it end
    module.PlayNote(2);
    const std::vector<float> b = Render(0.2);
    Render(0.4);
    module.PlayNote(1);
    module.PlayNote(2);
    const std::vector<float> both = Render(0.2);
    for (std::size_t i = 0; i < both.size(); i += 89) ASSERT_NEAR(both[i], a[i] + b[i], 2e-3);
}

TEST_F(SoundBankTest, MonoSoundsCentredAtFullLevel) {
    Load(1, Tone("loud.wav", 440, 0.5, 0.5));
    module.PlayNote(1);
    const std::vector<float> out = Render(0.3);
    EXPECT_NEAR(Peak(out, 0), 0.5, 0.03);
    EXPECT_NEAR(Peak(out, 1), 0.5, 0.03);
}

TEST_F(SoundBankTest, ANoteStartsWithinOneMixerUpdate) {
    Load(1, Tone("a.wav", 440));
    Render(0.1);
    module.PlayNote(1);
    const std::vector<float> out = Render(0.1);
    const long first = FirstSoundingFrame(out);
    ASSERT_GE(first, 0);
    EXPECT_LT(first, kUpdate);
}

TEST_F(SoundBankTest, LoadingIntoASoundingSlotEndsTheOldSound) {
    Load(1, Tone("long.wav", 440, 2.0));
    module.PlayNote(1);
    Render(0.1);
    Load(1, Tone("other.wav", 660));
    EXPECT_LT(Peak(Render(0.2), 0, kUpdate), 1e-4);
}

TEST_F(SoundBankTest, ClearBankStopsNotesButNotTheLoop) {
    Load(0, Tone("loop.wav", 220, 0.25));
    Load(1, Tone("note.wav", 880, 2.0));
    module.LoopSlotZero();
    module.PlayNote(1);
    Render(0.1);
    module.ClearBank();
    Render(0.05);
    const std::vector<float> after = Render(1.0);
    EXPECT_NEAR(EstimateFrequency(after.data(), after.size() / 2, 2, kRate), 220, 2)
        << "only the loop of slot 0 sounds, and it goes on past its own length";
    EXPECT_EQ(ErrorNumber([&] { module.PlayNote(1); }), 0) << "an empty slot plays nothing";
}

TEST_F(SoundBankTest, ResizeKeepsLoadedBuffers) {
    Load(36, Tone("a.wav", 440));
    module.ResizeBank(36);
    module.PlayNote(36);
    EXPECT_GT(Peak(Render(0.1), 0), 0.1);
}

TEST_F(SoundBankTest, OutOfRangeSlotsRaiseBeforeAnySound) {
    Load(1, Tone("a.wav", 440));
    EXPECT_EQ(ErrorNumber([&] { module.PlayNote(37); }), 9);
    EXPECT_EQ(ErrorNumber([&] { module.PlayNote(-1); }), 9);
    EXPECT_EQ(Peak(Render(0.1), 0), 0.0f);
    EXPECT_EQ(ErrorNumber([&] { Load(37, Tone("b.wav", 440)); }), 9);
    module.ResizeBank(10);
    EXPECT_EQ(ErrorNumber([&] { module.ClearBank(); }), 9);
}

TEST_F(SoundBankTest, FormatOverflowIsRaisedBeforeTheFileIsRead) {
    EXPECT_EQ(ErrorNumber([&] { module.LoadSample(1, dir.file("missing.wav"), 22050, 32767, 16); }),
              6);
}

TEST_F(SoundBankTest, BadFileRaisesLoadErrorAndSlotKeepsItsSound) {
    Load(1, Tone("a.wav", 440));
    testing_support::WriteBytes(dir.file("bad.wav"), "RIFF....WAVEjunk");
    try {
        Load(1, dir.file("bad.wav"));
        FAIL() << "a broken file was accepted";
    } catch (const core::LoadError& error) {
        EXPECT_EQ(error.path(), dir.file("bad.wav"));
        EXPECT_FALSE(error.reason().empty());
    }
    module.PlayNote(1);
    EXPECT_GT(Peak(Render(0.1), 0), 0.1);
}

TEST(SoundBankWithoutDeviceTest, EveryCallDoesNothingButTheBoundsStillHold) {
    LoopbackBackends backends;
    backends.haveSoundDevice = false;
    RecordingHighlights image1;
    dx::DirectSoundModule module(image1, backends.Make());
    module.InitSound(1);
    module.ResizeBank(36);
    EXPECT_NO_THROW({
        module.LoadSample(0, "/nonexistent/0.wav", 22050, 8, 1);
        module.LoopSlotZero();
        module.PlayNote(1);
        module.ClearBank();
    });
    EXPECT_EQ(ErrorNumber([&] { module.PlayNote(37); }), 9);
    module.ReleaseSound();
}

}  // namespace
