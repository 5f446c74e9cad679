// Every fuzzer seed and every committed fuzzer finding, taken through sample loading once more in
// the ordinary builds (the sanitizer build checks our side of it for memory faults).
#include <gtest/gtest.h>

#include <filesystem>

#include "core/run_time_error.h"
#include "load_and_play.h"
#include "seed_corpus.h"
#include "wav_fixtures.h"

namespace {

using testing_support::TempDir;

enum class Outcome { Played, Refused, Fatal };

class SampleInputsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(device_) << "no OpenAL loopback device"; }

    // What the program would make of the file; a sound it keeps must be one the device can play.
    Outcome Replay(const std::string& path, platform::PcmSound* played = nullptr) {
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
        } catch (const core::LoadError&) {
            return Outcome::Refused;
        } catch (const std::exception& error) {
            ADD_FAILURE() << path << ": an error the program does not report: " << error.what();
            return Outcome::Fatal;
        }
    }

    TempDir dir_;
    std::unique_ptr<platform::LoopbackSound> device_ = platform::LoopbackSound::Open(48000);
};

TEST_F(SampleInputsTest, EveryWellFormedLayoutPlaysAsWritten) {
    for (const fuzzing::Seed& seed : fuzzing::SeedCorpus()) {
        if (!seed.playable) continue;
        const std::string path = dir_.file(seed.name);
        testing_support::WriteBytes(path, seed.bytes);
        platform::PcmSound sound;
        ASSERT_EQ(Replay(path, &sound), Outcome::Played) << seed.name;
        EXPECT_EQ(sound.channels, seed.channels) << seed.name;
        EXPECT_EQ(sound.sampleRate, seed.sampleRate) << seed.name;
    }
}

TEST_F(SampleInputsTest, BrokenFilesAreRefusedOrPlayedNeverFatal) {
    int refused = 0;
    for (const fuzzing::Seed& seed : fuzzing::SeedCorpus()) {
        if (seed.playable) continue;
        const std::string path = dir_.file(seed.name);
        testing_support::WriteBytes(path, seed.bytes);
        const Outcome outcome = Replay(path);
        EXPECT_NE(outcome, Outcome::Fatal) << seed.name;
        refused += outcome == Outcome::Refused;
    }
    EXPECT_GT(refused, 0) << "the broken seeds must include files the reader refuses";
}

TEST_F(SampleInputsTest, CommittedFuzzerFindingsStayMended) {
    for (const auto& entry : std::filesystem::directory_iterator(TONARIUM_FUZZ_REGRESSIONS)) {
        if (entry.path().extension() != ".wav") continue;
        EXPECT_NE(Replay(entry.path().string()), Outcome::Fatal) << entry.path();
    }
}

}  // namespace
