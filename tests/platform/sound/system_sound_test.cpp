// SPDX-License-Identifier: MIT
// The system's sound as its sound thread runs it: one output plays the mixer at a time, the best
// that answers wins it back, a stalled one is left, silence puts it to sleep and a note wakes it,
// what went wrong is told; and the mixer drops a note that waited too long. First on servers the
// test fakes, then on real ones.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <list>
#include <sstream>
#include <thread>

#include "audio_analysis.h"
#include "child_process.h"
#include "platform/sound/system_sound.h"
#include "poll_until.h"
#include "sound_server.h"
#include "wav_fixtures.h"

namespace {

using namespace std::chrono_literals;
using platform::Mixer;
using platform::Output;
using platform::Renderer;
using platform::SystemSound;
using testing_support::PollUntil;
using testing_support::TempDir;

constexpr int kRate = Output::kRate;
constexpr int kBlock = 240;  // a fake server's period: 5 ms

platform::PcmSound Tone(const TempDir& dir, double frequency, double seconds,
                        double amplitude = 0.5) {
    const std::string path = dir.file("tone.wav");
    testing_support::WriteToneWav(path, {.frequency = frequency,
                                         .seconds = seconds,
                                         .amplitude = amplitude,
                                         .sampleRate = kRate,
                                         .subformat = SF_FORMAT_PCM_16});
    return platform::ReadWavFile(path);
}

// A sound server the test runs: it calls each active output opened on it every period from a
// thread of its own, as a real server's callback does, and keeps the peak of every block.
class FakeServer {
  public:
    struct Block {
        float first, last, peak;  // left channel
        int order;                // among the blocks of every fake server
    };
    explicit FakeServer(const char* name) : name_(name), clock_([this] { Run(); }) {}
    ~FakeServer() {
        running_ = false;
        clock_.join();
    }
    std::atomic<bool> up{true};                // opening an output succeeds
    std::atomic<bool> calling{true};           // false: stalled, its outputs are not called
    std::atomic<int> gaps{0};                  // periods played before the outputs filled them
    std::atomic<const char*> hangUp{nullptr};  // the outputs are lost, for this reason
    std::atomic<int> queuedMore{0};            // times an output was asked to queue more

    SystemSound::Opener Opener() {
        return [this](Mixer& mixer) -> std::unique_ptr<Output> {
            if (!up) return nullptr;
            return std::make_unique<Fake>(mixer, *this);
        };
    }
    std::vector<Block> Blocks() {
        std::lock_guard lock(mutex_);
        return blocks_;
    }
    bool HasActiveOutput() {
        std::lock_guard lock(mutex_);
        return std::any_of(outputs_.begin(), outputs_.end(),
                           [](Fake* f) { return f->called.load(); });
    }

  private:
    struct Fake final : Output {
        Fake(Mixer& mixer, FakeServer& server) : Output(mixer), server(server) {
            std::lock_guard lock(server.mutex_);
            server.outputs_.push_back(this);
        }
        ~Fake() override {
            std::lock_guard lock(server.mutex_);  // no call runs once it is gone
            server.outputs_.remove(this);
        }
        const char* Name() const override { return server.name_; }
        void Activate(bool active) override {
            woke = active;
            called = active;
        }
        void QueueMore() override { ++server.queuedMore; }
        FakeServer& server;
        std::atomic<bool> called{true};  // the server calls it while it is active
        std::atomic<bool> woke{true};    // since it was last called
        bool started = false;
    };

    void Run() {
        std::vector<float> samples(2 * kBlock);
        while (running_) {
            std::this_thread::sleep_for(5ms);
            std::lock_guard lock(mutex_);
            if (!calling) continue;
            const char* reason = hangUp.exchange(nullptr);
            for (Fake* output : outputs_) {
                Renderer& renderer = output->renderer();
                if (reason) renderer.Lost(reason);
                if (!std::exchange(output->started, true)) renderer.Started();
                if (!output->called) continue;
                // A real server's first call after a start or a wake finds nothing queued.
                if (output->woke.exchange(false)) renderer.FellBehind();
                renderer.FellBehind(gaps.exchange(0));
                output->renderer().Render(samples.data(), kBlock);
                float peak = 0;
                for (int i = 0; i < kBlock; ++i) peak = std::max(peak, std::fabs(samples[2 * i]));
                blocks_.push_back({samples[0], samples[2 * (kBlock - 1)], peak, order_++});
            }
        }
    }

    const char* name_;
    std::mutex mutex_;  // over outputs_ and blocks_; held through each call
    std::list<Fake*> outputs_;
    std::vector<Block> blocks_;
    std::atomic<bool> running_{true};
    std::thread clock_;
    static inline std::atomic<int> order_{0};
};

constexpr SystemSound::Timing kQuick{.silenceBeforePause = 10000ms,
                                     .retry = 50ms,
                                     .connect = 500ms,
                                     .headStart = 0ms,
                                     .poll = 5ms,
                                     .steadyPoll = 5ms};

class SystemSoundTest : public testing::Test {
  protected:
    std::unique_ptr<SystemSound> Open(std::vector<FakeServer*> servers,
                                      SystemSound::Timing timing = kQuick) {
        std::vector<SystemSound::Opener> outputs;
        for (FakeServer* server : servers) outputs.push_back(server->Opener());
        auto sound = std::make_unique<SystemSound>(Mixer::Open(), std::move(outputs), timing);
        sound->Tick();  // the first tick opens the outputs
        return sound;
    }
    bool PlaysOn(const SystemSound& sound, const std::string& name) {
        return PollUntil([&] { return sound.Playing() == name; }, 5);
    }
    static bool Sounding(const FakeServer::Block& block) { return block.peak > 0.01f; }

    FakeServer best{"best"};
    FakeServer worse{"worse"};
    TempDir dir;
};

TEST_F(SystemSoundTest, TheBestOutputWinsTheMixerBackWithoutAClickAndOnlyOnePlaysIt) {
    best.up = false;
    auto sound = Open({&best, &worse});
    auto loop = sound->CreateVoice(Tone(dir, 200, 0.05));  // ten whole periods: seamless
    loop->Play(true);
    ASSERT_TRUE(PlaysOn(*sound, "worse"));
    std::this_thread::sleep_for(100ms);
    best.up = true;
    ASSERT_TRUE(PlaysOn(*sound, "best")) << "the better output was not taken back";
    std::this_thread::sleep_for(100ms);

    const auto before = worse.Blocks();
    const auto after = best.Blocks();
    const auto lastHeard = std::find_if(before.rbegin(), before.rend(), Sounding);
    const auto firstHeard = std::find_if(after.begin(), after.end(), Sounding);
    ASSERT_NE(lastHeard, before.rend());
    ASSERT_NE(firstHeard, after.end());
    EXPECT_LT(std::fabs(lastHeard->last), 0.02f) << "the old output stopped mid-wave";
    EXPECT_LT(std::fabs(firstHeard->first), 0.02f) << "the new output started mid-wave";
    EXPECT_GT(after.back().peak, 0.4f) << "the loop plays on at its level";
    EXPECT_LT(lastHeard->order, firstHeard->order) << "both outputs played the mixer at once";
}

TEST_F(SystemSoundTest, AStalledOutputIsLeftAndTakenBackOnceItPlaysAgain) {
    auto sound = Open({&best, &worse});
    ASSERT_TRUE(PlaysOn(*sound, "best"));
    best.calling = false;
    EXPECT_TRUE(PlaysOn(*sound, "worse")) << "the stall went unnoticed";
    best.calling = true;
    EXPECT_TRUE(PlaysOn(*sound, "best"));
}

TEST_F(SystemSoundTest, SilencePausesTheOutputAndAnAudibleNoteWakesIt) {
    auto timing = kQuick;
    timing.silenceBeforePause = 100ms;
    auto sound = Open({&best}, timing);
    // The bank's endless loop of silence, 8-bit as it ships, does not keep the output awake.
    platform::PcmSound silence{.channels = 1, .sampleRate = 22050, .bitsPerSample = 8, .bytes = {}};
    silence.bytes.assign(2000, 0x80);
    auto silentLoop = sound->CreateVoice(silence);
    silentLoop->Play(true);
    auto note = sound->CreateVoice(Tone(dir, 440, 0.2));
    ASSERT_TRUE(PollUntil([&] { return sound->Paused(); }, 5));
    EXPECT_FALSE(best.HasActiveOutput()) << "a paused output is still called";

    const std::size_t asleep = best.Blocks().size();
    note->Play(false);
    ASSERT_TRUE(PollUntil([&] { return !sound->Paused(); }, 1)) << "the note did not wake it";
    ASSERT_TRUE(PollUntil([&] { return best.Blocks().size() > asleep + 10; }, 2));
    const auto blocks = best.Blocks();
    EXPECT_TRUE(std::any_of(blocks.begin() + asleep, blocks.end(), Sounding)) << "not heard";
    EXPECT_TRUE(PollUntil([&] { return sound->Paused(); }, 5)) << "asleep again after the note";
}

// What the program says on standard error meanwhile, kept in a file.
class StandardError {
  public:
    StandardError() : saved_(dup(STDERR_FILENO)) {
        const int file = open(dir_.file("stderr").c_str(), O_WRONLY | O_CREAT, 0600);
        dup2(file, STDERR_FILENO);
        close(file);
    }
    ~StandardError() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    std::string Text() const {
        std::stringstream text;
        text << std::ifstream(dir_.file("stderr")).rdbuf();
        return text.str();
    }
    bool Says(const std::string& part) const {
        return PollUntil([&] { return Text().find(part) != std::string::npos; }, 5);
    }

  private:
    TempDir dir_;
    int saved_;
};

TEST_F(SystemSoundTest, FallingBehindIsToldOnceAWhileNotAtStartAndALossWithItsReason) {
    const StandardError said;
    auto timing = kQuick;
    timing.silenceBeforePause = 100ms;
    timing.fellBehindEvery = 300ms;
    auto sound = Open({&best}, timing);
    auto loop = sound->CreateVoice(Tone(dir, 440, 0.05));
    loop->Play(true);
    ASSERT_TRUE(PlaysOn(*sound, "best"));
    ASSERT_TRUE(PollUntil([&] { return best.Blocks().size() > 2; }, 5)) << "past its start";
    const auto since = std::chrono::steady_clock::now();
    best.gaps = 3;
    ASSERT_TRUE(said.Says("Тонариум: the best output fell behind 3 times\n")) << said.Text();
    best.gaps = 2;
    ASSERT_TRUE(said.Says("Тонариум: the best output fell behind 2 more times\n")) << said.Text();
    EXPECT_GE(std::chrono::steady_clock::now() - since, 300ms) << "told again within the while";
    EXPECT_EQ(best.queuedMore, 2) << "asked to queue more each time it fell behind";
    loop.reset();
    ASSERT_TRUE(PollUntil([&] { return sound->Paused(); }, 5));
    auto note = sound->CreateVoice(Tone(dir, 440, 0.3));
    note->Play(false);  // wakes it
    ASSERT_TRUE(PollUntil([&] { return !sound->Paused(); }, 5));

    best.hangUp = "Connection terminated";
    EXPECT_TRUE(said.Says("the best output is lost: Connection terminated; ")) << said.Text();
    ASSERT_TRUE(PlaysOn(*sound, "best")) << "opened again";
    note.reset();
    sound.reset();
    const std::string text = said.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << "a start or wake counted:\n"
                                                             << text;
}

// The mixer on a clock the test moves: a note that waits 100 ms for its first period is dropped,
// one that waits 99 ms plays, and as the program starts the first notes wait for the first output.
TEST(MixerTest, ANoteIsDroppedRatherThanHeardLateButTheFirstOnesWait) {
    TempDir dir;
    Mixer::Clock::time_point now{1h};
    auto mixer = Mixer::Open(kRate, [&now] { return now; });
    Renderer output(*mixer);
    auto note = mixer->CreateVoice(Tone(dir, 440, 0.004));  // over within a period
    const auto heard = [&] {  // one period from the output: whether the note sounds in it
        std::vector<float> samples(2 * kBlock);
        output.Render(samples.data(), kBlock);
        now += 5ms;
        return testing_support::Peak(samples, 0) > 0.01f;
    };

    note->Play(false);  // before any output: the program has just started
    now += Mixer::kStartupWait - 1ms;
    mixer->DropLateNotes();
    mixer->HandTo(output, false);
    EXPECT_TRUE(heard()) << "the first note was dropped";

    for (const auto& [waited, plays] : {std::pair{99ms, true}, std::pair{100ms, false}}) {
        note->Rewind();
        note->Play(false);  // while no output renders
        now += waited;
        mixer->DropLateNotes();
        EXPECT_EQ(heard(), plays) << "a note " << waited.count() << " ms late";
    }
}

// The system's sound on a private server of the test's own.
class SoundOnServerTest : public testing::TestWithParam<testing_support::SoundServer::Kind> {
  protected:
    using Kind = testing_support::SoundServer::Kind;
    using Clock = std::chrono::steady_clock;

    void SetUp() override {
        if (const std::string missing = testing_support::FirstMissing(server_.Programs());
            !missing.empty())
            GTEST_SKIP() << missing << " is not installed (scripts/setup.sh --test installs it)";
        ASSERT_TRUE(server_.running()) << server_.error();
        server_.Export();
    }
    bool PipeWire() const { return GetParam() == Kind::kPipeWire; }
    std::string OwnStream() const { return PipeWire() ? "PipeWire" : "PulseAudio"; }
    // Ticks the device as the program's timer does, until an output plays.
    static std::string PlayingWithin(platform::SoundDevice& device, Clock::duration limit) {
        const auto& sound = static_cast<const SystemSound&>(device);
        PollUntil(
            [&] {
                device.Tick();
                return !sound.Playing().empty();
            },
            std::chrono::duration<double>(limit).count());
        return sound.Playing();
    }
    // Plays the voice once it plays, and the pitch the server's output then has; 0 when none.
    double PitchHeard(platform::SoundVoice& voice) {
        const testing_support::MonitorRecorder recorder(server_);
        const auto since = Clock::now();
        voice.Rewind();
        voice.Play(false);
        return PitchOfSoundAfter(recorder, since);
    }
    // The output's falling behind is said on standard error, and the recording's losses here.
    double PitchOfSoundAfter(const testing_support::MonitorRecorder& recorder,
                             Clock::time_point since) {
        const auto heard = recorder.WaitForSound(since, 3000ms);
        if (!heard) return 0;
        std::this_thread::sleep_for(150ms);  // enough of the note to count its waves
        if (recorder.Overruns() > 0)
            std::printf("the recording lost %d stretches of the note\n", recorder.Overruns());
        return testing_support::RecordedPitch(recorder.LeftChannel(*heard, kRate / 10), kRate);
    }

    testing_support::SoundServer server_{GetParam()};
    TempDir dir_;
};

TEST_P(SoundOnServerTest, TheBestOutputPlaysTheNoteAtItsPitchAndEachForcedOneItsOwnServer) {
    const testing_support::MonitorRecorder recorder(server_);
    const auto since = Clock::now();
    auto sound = platform::OpenSystemSound();
    auto voice = sound->CreateVoice(Tone(dir_, 440, 0.3));
    voice->Play(false);  // before any output is up
    EXPECT_EQ(PlayingWithin(*sound, 5s), OwnStream());
    EXPECT_NEAR(PitchOfSoundAfter(recorder, since), 440, 5) << "the note played before";
    voice.reset();  // voices go before their mixer
    sound.reset();

    using platform::SoundOutput;
    for (auto [output, name] :
         {std::pair{SoundOutput::kPulse, "PulseAudio"}, std::pair{SoundOutput::kAlsa, "ALSA"},
          std::pair{SoundOutput::kPipeWire, "PipeWire"}}) {
        auto forced = platform::OpenSystemSound(output);
        const bool answers = output != SoundOutput::kPipeWire || PipeWire();
        EXPECT_EQ(PlayingWithin(*forced, answers ? 5s : 500ms), answers ? name : "") << name;
        if (!answers) continue;
        auto note = forced->CreateVoice(Tone(dir_, 660, 0.3));
        EXPECT_NEAR(PitchHeard(*note), 660, 8) << name;
    }
}

// The server stopped for 8 s (SIGSTOP) and then let go on: notes played meanwhile never make
// the caller wait, and soon after the server goes on the program's own stream plays again.
TEST_P(SoundOnServerTest, AStoppedServerNeverHoldsUpANoteAndItsStreamPlaysAgainSoonAfter) {
    auto sound = platform::OpenSystemSound();
    auto voice = sound->CreateVoice(Tone(dir_, 440, 0.2));
    ASSERT_EQ(PlayingWithin(*sound, 5s), OwnStream());

    kill(-server_.pid(), SIGSTOP);
    Clock::duration longestPlay{};
    for (const auto until = Clock::now() + 8s; Clock::now() < until;) {
        const auto start = Clock::now();
        voice->Rewind();
        voice->Play(false);
        sound->Tick();
        longestPlay = std::max(longestPlay, Clock::now() - start);
        std::this_thread::sleep_for(250ms);
    }
    const auto& system = static_cast<const SystemSound&>(*sound);
    EXPECT_NE(system.Playing(), OwnStream()) << "the stall went unnoticed";
    kill(-server_.pid(), SIGCONT);
    const auto resumed = Clock::now();
    EXPECT_TRUE(PollUntil([&] { return system.Playing() == OwnStream(); }, 2))
        << "still on «" << system.Playing() << "» 2 s after the server went on";
    std::printf("own stream again %.2f s after the server went on; longest note start %.2f ms\n",
                std::chrono::duration<double>(Clock::now() - resumed).count(),
                std::chrono::duration<double, std::milli>(longestPlay).count());
    EXPECT_LT(longestPlay, 50ms) << "a note waited for the stopped server";
    EXPECT_NEAR(PitchHeard(*voice), 440, 5) << "after the stall";
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
