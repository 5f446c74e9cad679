// SPDX-License-Identifier: MIT
// Every fuzzer seed and every committed fuzzer finding, taken through sample loading once more in
// the ordinary builds (the sanitizer build checks our side of it for memory faults).
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/run_time_error.h"
#include "input_files.h"
#include "load_and_play.h"

namespace {

using testing_support::InputFiles;

const std::filesystem::path kSeeds = TONARIUM_FUZZ_SEEDS;

enum class Outcome { Played, Refused, Fatal };

class SampleInputsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(device_) << "no OpenAL loopback device"; }

    // What the program would make of the file; a sound it keeps must be one the device can play.
    Outcome Replay(const std::filesystem::path& file, platform::PcmSound* played = nullptr) {
        const std::string path = file.string();
        try {
            const platform::PcmSound sound = fuzzing::LoadAndPlay(path, *device_);
            EXPECT_TRUE(sound.channels == 1 || sound.channels == 2) << path;
            EXPECT_TRUE(sound.bitsPerSample == 8 || sound.bitsPerSample == 16) << path;
            EXPECT_GE(sound.sampleRate, 1000) << path;
            EXPECT_LE(sound.sampleRate, 192000) << path;
            EXPECT_GT(sound.frames(), 0u) << path;
            EXPECT_EQ(sound.bytes.size() % (sound.channels * sound.bitsPerSample / 8), 0u) << path;
            if (played) *played = sound;
            return Outcome::Played;
        } catch (const core::LoadError& error) {
            EXPECT_FALSE(error.reason().empty()) << path;
            return Outcome::Refused;
        } catch (const std::exception& error) {
            ADD_FAILURE() << path << ": an error the program does not report: " << error.what();
            return Outcome::Fatal;
        }
    }

    std::unique_ptr<platform::LoopbackSound> device_ = platform::LoopbackSound::Open(48000);
};

// Each is named after its layout, ending in _ch<channels>_<rate>.wav.
TEST_F(SampleInputsTest, EveryWellFormedLayoutPlaysAsWritten) {
    const std::regex layout(R"(_ch(\d+)_(\d+)\.wav$)");
    const auto files = InputFiles(kSeeds / "wav", ".wav");
    ASSERT_FALSE(files.empty()) << "no seeds in " << kSeeds / "wav";
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        std::smatch match;
        ASSERT_TRUE(std::regex_search(name, match, layout)) << name << " names no layout";
        platform::PcmSound sound;
        ASSERT_EQ(Replay(file, &sound), Outcome::Played) << name;
        EXPECT_EQ(sound.channels, std::stoi(match[1])) << name;
        EXPECT_EQ(sound.sampleRate, std::stoi(match[2])) << name;
    }
}

// With the fuzzer's findings, of which there are none yet: no input has broken sample loading.
TEST_F(SampleInputsTest, BrokenFilesAndFuzzerFindingsAreRefusedOrPlayedNeverFatal) {
    auto files = InputFiles(kSeeds / "wav_broken", ".wav");
    ASSERT_FALSE(files.empty()) << "no seeds in " << kSeeds / "wav_broken";
    const auto findings = InputFiles(TONARIUM_FUZZ_REGRESSIONS, ".wav");
    files.insert(files.end(), findings.begin(), findings.end());
    int refused = 0;
    for (const auto& file : files) {
        const Outcome outcome = Replay(file);
        EXPECT_NE(outcome, Outcome::Fatal) << file;
        refused += outcome == Outcome::Refused;
    }
    EXPECT_GT(refused, 0) << "the broken seeds must include files the reader refuses";
}

}  // namespace
