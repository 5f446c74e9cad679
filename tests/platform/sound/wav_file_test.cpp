// SPDX-License-Identifier: MIT
#include "platform/sound/sound.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "audio_analysis.h"
#include "core/run_time_error.h"
#include "fake_backends.h"
#include "wav_fixtures.h"

namespace {

using namespace testing_support;

struct Layout {
    const char* name;
    int subformat;
    int channels;
    int sampleRate;
};

class WavLayoutTest : public ::testing::TestWithParam<Layout> {};

// Whatever the layout, the sound must come out at its own pitch and length.
TEST_P(WavLayoutTest, PlaysAtItsTruePitchAndLength) {
    const Layout layout = GetParam();
    TempDir dir;
    const std::string path = dir.file("tone.wav");
    WriteToneWav(path, ToneSpec{.frequency = 523.25,
                                .seconds = 0.4,
                                .amplitude = 0.4,
                                .sampleRate = layout.sampleRate,
                                .channels = layout.channels,
                                .subformat = layout.subformat});

    const platform::PcmSound sound = platform::ReadWavFile(path);
    EXPECT_EQ(sound.channels, layout.channels);
    EXPECT_EQ(sound.sampleRate, layout.sampleRate);
    EXPECT_EQ(sound.frames(), static_cast<std::size_t>(0.4 * layout.sampleRate));

    auto device = platform::LoopbackSound::Open(LoopbackBackends::kRate);
    ASSERT_TRUE(device);
    auto voice = device->CreateVoice(sound);
    voice->Play(false);
    const std::vector<float> out = device->Render(LoopbackBackends::kRate / 2);
    const long onset = FirstSoundingFrame(out);
    long last = static_cast<long>(out.size() / 2) - 1;
    while (last > 0 && std::fabs(out[last * 2]) < 1e-3f) --last;
    EXPECT_NEAR((last - onset) / double(LoopbackBackends::kRate), 0.4, 0.005) << "length";
    EXPECT_NEAR(EstimateFrequency(out.data() + onset * 2, last - onset, 2, LoopbackBackends::kRate),
                523.25, 2.0)
        << "pitch";
    EXPECT_NEAR(Peak(out, 0), 0.4, 0.04) << "level";
    EXPECT_NEAR(Peak(out, 1), 0.4, 0.04) << "level";
}

INSTANTIATE_TEST_SUITE_P(AllPcmLayouts, WavLayoutTest,
                         ::testing::Values(Layout{"u8_mono_22050", SF_FORMAT_PCM_U8, 1, 22050},
                                           Layout{"s16_stereo_44100", SF_FORMAT_PCM_16, 2, 44100},
                                           Layout{"s24_mono_48000", SF_FORMAT_PCM_24, 1, 48000},
                                           Layout{"s32_stereo_96000", SF_FORMAT_PCM_32, 2, 96000},
                                           Layout{"float_mono_8000", SF_FORMAT_FLOAT, 1, 8000},
                                           Layout{"u8_stereo_11025", SF_FORMAT_PCM_U8, 2, 11025}),
                         [](const auto& info) { return std::string(info.param.name); });

// A canonical 44-byte header for 8-bit mono PCM with the given data size field.
std::string Header(std::uint32_t dataBytes, std::uint32_t riffBytes) {
    auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](std::uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    return "RIFF" + u32(riffBytes) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(22050) +
           u32(22050) + u16(1) + u16(8) + "data" + u32(dataBytes);
}

std::string LoadErrorReason(const std::string& path) {
    try {
        platform::ReadWavFile(path);
    } catch (const core::LoadError& error) {
        EXPECT_EQ(error.path(), path);
        return error.reason();
    }
    return "";
}

TEST(WavFileTest, BadFilesGiveALoadErrorNamingTheFile) {
    TempDir dir;
    const std::string good(200, '\x90');
    const std::map<std::string, std::string> files = {
        {"empty.wav", ""},
        {"short-header.wav", Header(100, 136).substr(0, 20)},
        {"garbage.wav", std::string(4096, '\x5a')},
        {"no-frames.wav", Header(0, 36)},
        {"not-wav.wav", "fLaC" + std::string(200, '\0')},
    };
    for (const auto& [name, bytes] : files) {
        WriteBytes(dir.file(name), bytes);
        EXPECT_FALSE(LoadErrorReason(dir.file(name)).empty()) << name;
    }
    std::filesystem::create_directory(dir.file("5.wav"));
    EXPECT_FALSE(LoadErrorReason(dir.file("5.wav")).empty()) << "a folder";
    EXPECT_FALSE(LoadErrorReason(dir.file("missing.wav")).empty());
}

TEST(WavFileTest, DataSizePastTheEndPlaysWhatIsThere) {
    TempDir dir;
    WriteBytes(dir.file("long-claim.wav"), Header(1'000'000, 1'000'036) + std::string(500, '\x90'));
    EXPECT_EQ(platform::ReadWavFile(dir.file("long-claim.wav")).frames(), 500u);
}

TEST(WavFileTest, RefusesMoreThanTenMinutes) {
    TempDir dir;
    const std::string path = dir.file("long.wav");
    // 8000 Hz u8 mono: ten minutes and a second is under 5 MB.
    WriteToneWav(path, ToneSpec{.seconds = 601, .sampleRate = 8000});
    EXPECT_FALSE(LoadErrorReason(path).empty());
}

TEST(WavFileTest, UnreadableFileGivesALoadError) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    TempDir dir;
    const std::string path = dir.file("locked.wav");
    WriteToneWav(path, ToneSpec{});
    chmod(path.c_str(), 0);
    EXPECT_FALSE(LoadErrorReason(path).empty());
}

}  // namespace
