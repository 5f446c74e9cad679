// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/sound/mixer.h"
#include "platform/sound/output.h"

namespace platform {

// The system's sound: one mixer, and the outputs that may play it in the order of preference.
// A sound thread of its own opens the outputs, polls them, and hands the mixer to the best that
// plays, from the first tick on (once the window is up: start-up does not share the machine with
// a server's connection):
// - while no output plays, the outputs are tried in order, each again a second after it failed;
//   the next is tried only once the one before has failed or has been connecting for a moment
//   (a server that hangs), so an output that is not needed is never connected;
// - while a later output plays, the earlier ones are tried again in the background, and the
//   first of them to play takes the mixer over from it;
// - an output that goes away, stalls (see Output::kStallLimit) or does not play within a while
//   of opening is closed and tried again later, and the line that tells it says why;
// - the periods the output playing could not fill in time, and the notes dropped because no output
//   played them in time, are told at most once a minute;
// - once nothing audible has played for a while the output is paused, and the next audible note
//   wakes it.
// The event loop only makes and plays voices, and wakes the sound thread; it never waits for it.
class SystemSound final : public SoundDevice {
  public:
    using Clock = std::chrono::steady_clock;
    using Opener = std::function<std::unique_ptr<Output>(Mixer&)>;
    struct Timing {
        std::chrono::milliseconds silenceBeforePause = kSilenceBeforePause;
        // How soon an output that failed or went away is tried again.
        std::chrono::milliseconds retry{1000};
        // How long a new output may take to start playing.
        std::chrono::milliseconds connect{2000};
        // How long a better output that is connecting is waited for before the next is tried,
        // or one that plays takes the mixer.
        std::chrono::milliseconds headStart{300};
        // How often the sound thread polls the outputs: while one connects, and otherwise.
        std::chrono::milliseconds poll{20};
        std::chrono::milliseconds steadyPoll{100};
        // How often at most an output's falling behind is told.
        std::chrono::milliseconds fellBehindEvery{60000};
    };

    SystemSound(std::unique_ptr<Mixer> mixer, std::vector<Opener> outputs, Timing timing);
    ~SystemSound() override;

    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) override;
    void Tick() override;
    // The name of the output that plays the mixer now, "" while none does, and whether it is
    // paused; from any thread, for tests and benchmarks.
    std::string Playing() const { return playing_.load(); }
    bool Paused() const { return paused_.load(); }

  private:
    // A count told at most once a while (Timing::fellBehindEvery), and whatever is left of it as
    // the sound closes.
    struct Untold {
        int count = 0;
        std::optional<Clock::time_point> toldAt;
    };
    struct Slot {
        Opener open;
        std::unique_ptr<Output> output;
        Clock::time_point openedAt;
        Clock::time_point retryAt;
        const char* name = "";  // its output's
        std::string failure;    // why its output last failed, in its library's words
        Untold fellBehind;      // the periods it could not fill while it played the mixer
    };

    void Run();
    // One poll of the sound thread; whether an output is connecting.
    bool Step(Clock::time_point now, bool wake);
    void CloseFailed(Clock::time_point now);
    void TakeBest(Clock::time_point now);
    bool OpenDue(Clock::time_point now);
    void PauseOrWake(Clock::time_point now, bool wake);
    void TellFellBehind(Clock::time_point now, bool closing);
    bool TimeToTell(const Untold& untold, Clock::time_point now, bool closing) const;
    void Close(Slot& slot);
    void Wake();

    const std::unique_ptr<Mixer> mixer_;
    const Timing timing_;
    // The sound thread's own.
    std::vector<Slot> slots_;
    int current_ = -1;  // the slot whose output owns the mixer
    bool toldGone_ = false;
    Clock::time_point lastAudible_;
    Untold dropped_;  // late notes the event loop dropped
    Subject say_;
    // Shared with the event loop.
    std::mutex mutex_;  // over stop_, wake_ and started_, never held while a library is called
    std::condition_variable changed_;
    bool stop_ = false;
    bool wake_ = false;
    bool started_ = false;  // the first tick has come
    std::atomic<bool> ticked_{false};
    std::atomic<int> droppedNow_{0};  // late notes the event loop dropped, not yet taken
    std::atomic<const char*> playing_{""};
    std::atomic<bool> paused_{false};
    std::thread thread_;
};

}  // namespace platform
