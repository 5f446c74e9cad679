#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/sound/openal_output.h"

namespace platform {

// A sound server's playback stream that plays what an OpenAL loopback mixer renders: stereo float
// at kRate, rendered in the server's own callback, exactly as much as the server asks for.
//
// The callback runs on the server library's thread (PipeWire's real-time one) while the program's
// thread plays voices on the same mixer. OpenAL Soft 1.19 renders a loopback device under the
// device's backend lock, the lock its own mixer thread holds for a sound card and that every al*
// call which changes what is playing (alSourcePlay, alSourceRewind, alSourceStop ...) takes, and
// it reads source states through atomics; so rendering on one thread while another plays voices
// is as safe as with any playback device. What OpenAL does not guard is the device itself: it
// must not be closed, nor its context destroyed, while a render may run, so a stream always ends
// before its mixer. The callback allocates nothing, logs nothing and takes no lock but OpenAL's.
class ServerStream {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;
    // A stream that should play but has not been called for this long counts as lost: a server
    // has been seen to leave a stream silent for good without a word. Until it has been called
    // twice it may take longer: the first call fills the server's buffer, and when the server
    // comes back for more depends on what it plays to (an idle null sink of PulseAudio's plays
    // two seconds at a time before it takes up a new stream's latency).
    static constexpr std::chrono::milliseconds kStallLimit{500};
    static constexpr std::chrono::milliseconds kFirstCallsLimit{3000};
    using State = OutputState;

    virtual ~ServerStream() = default;           // each stream ends its callbacks in its destructor
    ServerStream(const ServerStream&) = delete;  // the server's callbacks hold its address
    ServerStream& operator=(const ServerStream&) = delete;
    virtual const char* ServerName() const = 0;

    // On the program's thread, as often as it likes.
    State Poll(Clock::time_point now = Clock::now()) const {
        const State state = state_.load();
        const auto limit = calls_.load() < 2 ? kFirstCallsLimit : kStallLimit;
        return state == State::kPlaying && active_ && now - LastCall() > limit ? State::kLost
                                                                               : state;
    }
    // An inactive stream is not asked for sound, so that the program and the server can sleep.
    // Only for a playing stream.
    void SetActive(bool active) {
        if (active == active_) return;
        active_ = active;
        if (active) Restart();  // the time it takes to start again is not a stall
        Activate(active);
    }

  protected:
    explicit ServerStream(OpenAlOutput& mixer) : mixer_(mixer) {}
    // In the server's callback: mixes the next frames, interleaved left/right.
    void Render(float* samples, int frames) {
        Called();
        if (calls_.load(std::memory_order_relaxed) < 2) calls_.fetch_add(1);
        mixer_.Render(samples, frames);
    }
    // From the server's thread: the server has started calling for sound, or is gone.
    void Started() {
        Restart();
        state_.store(State::kPlaying);
    }
    void Lost() { state_.store(State::kLost); }
    virtual void Activate(bool active) = 0;

  private:
    void Called() { lastCall_.store(Clock::now().time_since_epoch().count()); }
    void Restart() {
        calls_.store(0);
        Called();
    }
    Clock::time_point LastCall() const {
        return Clock::time_point(Clock::duration(lastCall_.load()));
    }

    OpenAlOutput& mixer_;
    std::atomic<State> state_{State::kConnecting};
    std::atomic<Clock::rep> lastCall_{0};
    std::atomic<int> calls_{0};  // since the start, counted up to two
    bool active_ = true;         // the program's thread's own
};

// Makes a stream of that kind and starts connecting it; nullptr when it cannot even start.
template <typename Stream>
std::unique_ptr<ServerStream> StartStream(OpenAlOutput& mixer) {
    auto stream = std::make_unique<Stream>(mixer);
    if (!stream->Start()) return nullptr;
    return stream;
}

}  // namespace platform
