// What the sound device does on its turns: it pauses its mixer in silence and wakes for the next
// note, and it opens its output again after a loss, with every voice and loop restored; on real
// sound servers, through its own streams.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/sound/openal_loopback_device.h"
#include "platform/sound/openal_output.h"
#include "platform/sound/openal_sound_device.h"
#include "platform/sound/wav_file.h"
#include "sound_server.h"
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
                  {.silenceBeforePause = silence, .connectionCheck = 0ms, .retry = 0ms}) {
        Service();  // opens it
    }
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

// The pitch of a recorded tone by the median length of its periods, so that a glitch of the
// recording (a server changing its period as a client comes) counts as one odd period only.
double Pitch(const std::vector<float>& samples) {
    std::vector<double> periods;
    double previous = -1;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] >= 0 || samples[i] < 0) continue;
        const double crossing = i - samples[i] / (samples[i] - samples[i - 1]);
        if (previous >= 0) periods.push_back(crossing - previous);
        previous = crossing;
    }
    if (periods.empty()) return 0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return kRate / periods[periods.size() / 2];
}

// The device as the program opens it, on a private server of the test's own.
class ServerDevice : public OpenAlSoundDevice {
  public:
    explicit ServerDevice(Road road) : OpenAlSoundDevice(Roads(road), Timing{}) {}
    platform::OutputState State() const {
        return Output() ? Output()->State() : platform::OutputState::kLost;
    }
    // Gives the device its turns until its output plays: the road's name, "" when none did.
    std::string ServiceUntilPlaying(std::chrono::milliseconds limit) {
        for (const auto end = Clock::now() + limit; Clock::now() < end;) {
            Service();
            if (State() == platform::OutputState::kPlaying) return Output()->Name();
            std::this_thread::sleep_for(10ms);
        }
        return "";
    }
};

class SoundOnServerTest : public testing::TestWithParam<testing_support::SoundServer::Kind> {
  protected:
    using Kind = testing_support::SoundServer::Kind;
    using Road = OpenAlSoundDevice::Road;

    void SetUp() override {
        if (!server_.running()) GTEST_SKIP() << server_.Name() << " cannot run here";
        server_.Export();
    }

    // Gives the device its turns until the server's output has a sound that came after `since`:
    // its pitch, 0 when none came.
    double PitchHeard(ServerDevice& device, const testing_support::MonitorRecorder& recorder,
                      OpenAlSoundDevice::Clock::time_point since) {
        std::optional<OpenAlSoundDevice::Clock::time_point> heard;
        for (int turn = 0; turn < 100 && !heard; ++turn) {
            device.Service();
            heard = recorder.WaitForSound(since, 20ms);
        }
        if (!heard) return 0;
        std::this_thread::sleep_for(150ms);  // enough of the note to count its waves
        return Pitch(recorder.LeftChannel(*heard, kRate / 10));
    }
    double PitchHeard(ServerDevice& device, platform::SoundVoice& voice) {
        const testing_support::MonitorRecorder recorder(server_);
        const auto since = OpenAlSoundDevice::Clock::now();
        voice.Rewind();
        voice.Play(false);
        return PitchHeard(device, recorder, since);
    }

    testing_support::SoundServer server_{GetParam()};
    TempDir dir_;
};

TEST_P(SoundOnServerTest, TheFirstRoadThatAnswersPlaysTheNoteAtItsPitchAndComesBackAfterAStall) {
    const testing_support::MonitorRecorder recorder(server_);
    const auto since = OpenAlSoundDevice::Clock::now();
    ServerDevice device(Road::kAny);
    auto voice = device.CreateVoice(Tone(dir_, 440, 0.3));
    voice->Play(false);  // before any output is up: on PulseAudio, before PipeWire's road fails
    ASSERT_EQ(device.ServiceUntilPlaying(5000ms),
              GetParam() == Kind::kPipeWire ? "PipeWire" : "PulseAudio");
    EXPECT_NEAR(PitchHeard(device, recorder, since), 440, 5) << "the note played before";
    EXPECT_NEAR(PitchHeard(device, *voice), 440, 5);

    kill(-server_.pid(), SIGSTOP);
    const auto stopped = OpenAlSoundDevice::Clock::now();
    while (OpenAlSoundDevice::Clock::now() < stopped + 1s &&
           device.State() == platform::OutputState::kPlaying) {
        device.Service();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_NE(device.State(), platform::OutputState::kPlaying) << "a stalled stream went unnoticed";
    kill(-server_.pid(), SIGCONT);
    EXPECT_NE(device.ServiceUntilPlaying(5000ms), "");
    EXPECT_NEAR(PitchHeard(device, *voice), 440, 5) << "after the stall";
}

TEST_P(SoundOnServerTest, AForcedRoadPlaysOnlyThroughItsOwnServer) {
    const bool pipeWire = GetParam() == Kind::kPipeWire;
    ServerDevice pulse(Road::kPulse);
    EXPECT_EQ(pulse.ServiceUntilPlaying(5000ms), "PulseAudio") << "PipeWire answers PulseAudio too";
    ServerDevice native(Road::kPipeWire);
    EXPECT_EQ(native.ServiceUntilPlaying(pipeWire ? 5000ms : 500ms), pipeWire ? "PipeWire" : "");
}

INSTANTIATE_TEST_SUITE_P(Servers, SoundOnServerTest,
                         testing::Values(testing_support::SoundServer::Kind::kPulseAudio,
                                         testing_support::SoundServer::Kind::kPipeWire),
                         [](const auto& info) {
                             return info.param == testing_support::SoundServer::Kind::kPipeWire
                                        ? "PipeWire"
                                        : "PulseAudio";
                         });

}  // namespace
