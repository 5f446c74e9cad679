// The real-time device pauses its mixer in silence and wakes for the next note. Its output is
// OpenAL's null device, which mixes in real time and keeps the device clock like any other.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QTest>
#include <chrono>

#include "platform/openal_sound_device.h"
#include "platform/wav_file.h"
#include "wav_fixtures.h"

namespace {

using namespace std::chrono_literals;
using platform::OpenAlSoundDevice;
using testing_support::TempDir;
using testing_support::ToneSpec;
using testing_support::WriteToneWav;

// A 16-bit mono tone, read through the same path as the sample library.
platform::PcmSound Tone(const TempDir& dir, double seconds) {
    const std::string path = dir.file("tone.wav");
    WriteToneWav(path,
                 ToneSpec{.seconds = seconds, .sampleRate = 48000, .subformat = SF_FORMAT_PCM_16});
    return platform::ReadWavFile(path);
}

double ClockSeconds(OpenAlSoundDevice& device) {
    return device.ClockNanoseconds() / 1e9;
}

class SoundDevicePauseTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("ALSOFT_CONF", "/dev/null", 1);
    }

    int argc_ = 1;
    char name_[24] = "sound_device_pause_test";
    char* argv_[1] = {name_};
    QCoreApplication app_{argc_, argv_};
    TempDir dir_;
};

TEST_F(SoundDevicePauseTest, SilencePausesTheMixerAndTheNextNoteWakesIt) {
    auto device = OpenAlSoundDevice::OpenDefault(300ms);
    ASSERT_TRUE(device) << "OpenAL has no null output";
    auto voice = device->CreateVoice(Tone(dir_, 0.2));

    voice->Play(false);
    QTest::qWait(150);
    EXPECT_FALSE(device->Paused()) << "paused while a note sounds";
    QTest::qWait(700);
    ASSERT_TRUE(device->Paused()) << "still mixing half a second after the note ended";

    const double pausedAt = ClockSeconds(*device);
    QTest::qWait(300);
    EXPECT_NEAR(ClockSeconds(*device), pausedAt, 0.001) << "the mixer ran while paused";

    voice->Rewind();
    voice->Play(false);
    EXPECT_FALSE(device->Paused());
    QTest::qWait(300);
    EXPECT_GT(ClockSeconds(*device) - pausedAt, 0.15) << "the note did not wake the mixer";
}

TEST_F(SoundDevicePauseTest, OnlyAnAudibleLoopKeepsTheMixerRunning) {
    auto device = OpenAlSoundDevice::OpenDefault(100ms);
    ASSERT_TRUE(device);
    // The bank's endless loop of silence, 8-bit as it ships, and a looping tone.
    platform::PcmSound silence{.channels = 1, .sampleRate = 22050, .bitsPerSample = 8, .bytes = {}};
    silence.bytes.assign(2000, 0x80);
    auto silentLoop = device->CreateVoice(silence);
    auto toneLoop = device->CreateVoice(Tone(dir_, 0.05));
    silentLoop->Play(true);
    toneLoop->Play(true);
    QTest::qWait(500);
    EXPECT_FALSE(device->Paused());

    toneLoop.reset();
    QTest::qWait(300);
    EXPECT_TRUE(device->Paused()) << "a loop of silence kept the mixer running";
}

}  // namespace
