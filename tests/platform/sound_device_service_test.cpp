// What the sound device does on its turns: it pauses its mixer in silence and wakes for the next
// note, and it opens its output again after a loss, with every voice and loop restored.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "platform/openal_loopback_device.h"
#include "platform/openal_output.h"
#include "platform/openal_sound_device.h"
#include "platform/wav_file.h"
#include "wav_fixtures.h"

namespace {

using namespace std::chrono_literals;
using platform::OpenAlSoundDevice;
using testing_support::TempDir;

constexpr int kRate = 48000;
// No waiting between the turns that notice a loss and open the output again.
constexpr OpenAlSoundDevice::Timing kQuickReconnect{.connectionCheck = 0ms, .retry = 0ms};

// A 16-bit mono tone, read through the same path as the sample library.
platform::PcmSound Tone(const TempDir& dir, double frequency, double seconds) {
    const std::string path = dir.file("tone.wav");
    testing_support::WriteToneWav(path, {.frequency = frequency,
                                         .seconds = seconds,
                                         .sampleRate = kRate,
                                         .subformat = SF_FORMAT_PCM_16});
    return platform::ReadWavFile(path);
}

// A device whose output the test can take away once; the next turn opens a new one at once.
template <typename Device>
class Losable : public Device {
  public:
    using Device::Device;
    void LoseOutputOnce() {
        lost_ = true;
        this->Service();
        lost_ = false;
    }
    bool HasOutput() const { return this->Output() != nullptr; }

  protected:
    bool OutputConnected() const override { return !lost_ && Device::OutputConnected(); }

  private:
    bool lost_ = false;
};

// The device as the program opens it, on OpenAL's null output, which mixes in real time and keeps
// the device clock like any other, with a short silence before the pause.
class WatchedDevice : public Losable<OpenAlSoundDevice> {
  public:
    explicit WatchedDevice(std::chrono::milliseconds silence)
        : Losable(&platform::OpenAlOutput::OpenDefault,
                  {.silenceBeforePause = silence, .connectionCheck = 0ms, .retry = 0ms}) {}
    using OpenAlSoundDevice::Paused;
    double ClockSeconds() const { return Output()->ClockAndLatency()[0] / 1e9; }
    // Gives the device its turns for a while, as the key poll does.
    void ServiceFor(std::chrono::milliseconds time) {
        for (const auto end = Clock::now() + time; Clock::now() < end;) {
            Service();
            std::this_thread::sleep_for(10ms);
        }
    }
};

class LosableLoopback : public Losable<platform::OpenAlLoopbackDevice> {
  public:
    LosableLoopback() : Losable(kRate, kQuickReconnect) {}
};

class SoundDeviceServiceTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("ALSOFT_CONF", "/dev/null", 1);
    }
    TempDir dir_;
};

void ExpectPauseInSilenceAndWake(WatchedDevice& device, platform::SoundVoice& voice) {
    voice.Rewind();
    voice.Play(false);
    device.ServiceFor(150ms);
    EXPECT_FALSE(device.Paused()) << "paused while a note sounds";
    device.ServiceFor(700ms);
    ASSERT_TRUE(device.Paused()) << "still mixing half a second after the note ended";

    const double pausedAt = device.ClockSeconds();
    device.ServiceFor(300ms);
    EXPECT_NEAR(device.ClockSeconds(), pausedAt, 0.001) << "the mixer ran while paused";

    voice.Rewind();
    voice.Play(false);
    EXPECT_FALSE(device.Paused());
    device.ServiceFor(300ms);
    EXPECT_GT(device.ClockSeconds() - pausedAt, 0.15) << "the note did not wake the mixer";
}

TEST_F(SoundDeviceServiceTest, SilencePausesTheMixerAndTheNextNoteWakesItAlsoAfterALoss) {
    WatchedDevice device(300ms);
    ASSERT_TRUE(device.HasOutput()) << "OpenAL has no null output";
    auto voice = device.CreateVoice(Tone(dir_, 440, 0.2));
    {
        SCOPED_TRACE("first output");
        ExpectPauseInSilenceAndWake(device, *voice);
    }
    device.LoseOutputOnce();
    ASSERT_TRUE(device.HasOutput()) << "the output was not opened again";
    {
        SCOPED_TRACE("output opened after a loss");
        ExpectPauseInSilenceAndWake(device, *voice);
    }
}

TEST_F(SoundDeviceServiceTest, OnlyAnAudibleLoopKeepsTheMixerRunning) {
    WatchedDevice device(100ms);
    ASSERT_TRUE(device.HasOutput());
    // The bank's endless loop of silence, 8-bit as it ships, and a looping tone.
    platform::PcmSound silence{.channels = 1, .sampleRate = 22050, .bitsPerSample = 8, .bytes = {}};
    silence.bytes.assign(2000, 0x80);
    auto silentLoop = device.CreateVoice(silence);
    auto toneLoop = device.CreateVoice(Tone(dir_, 440, 0.05));
    silentLoop->Play(true);
    toneLoop->Play(true);
    device.ServiceFor(500ms);
    EXPECT_FALSE(device.Paused());

    toneLoop.reset();
    device.ServiceFor(300ms);
    EXPECT_TRUE(device.Paused()) << "a loop of silence kept the mixer running";
}

double Frequency(const std::vector<float>& stereo) {
    return testing_support::EstimateFrequency(stereo.data(), stereo.size() / 2, 2, kRate);
}

TEST_F(SoundDeviceServiceTest, AfterALossEveryVoicePlaysItsOwnSoundAndTheLoopRunsAgain) {
    LosableLoopback device;
    auto loop = device.CreateVoice(Tone(dir_, 200, 0.05));  // ten whole periods: a seamless loop
    auto first = device.CreateVoice(Tone(dir_, 500, 0.3));
    auto second = device.CreateVoice(Tone(dir_, 800, 0.3));
    loop->Play(true);
    first->Play(false);
    device.Render(kRate / 10);

    device.LoseOutputOnce();
    ASSERT_TRUE(device.HasOutput());
    EXPECT_NEAR(Frequency(device.Render(kRate / 4)), 200, 4)
        << "the loop should run again alone: the note that sounded at the loss is gone";

    loop.reset();
    for (auto [voice, frequency] : {std::pair{first.get(), 500}, std::pair{second.get(), 800}}) {
        voice->Rewind();
        voice->Play(false);
        EXPECT_NEAR(Frequency(device.Render(kRate / 4)), frequency, 8) << frequency << " Hz voice";
        device.Render(kRate / 10);  // its end
    }
}

}  // namespace
