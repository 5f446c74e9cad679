// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

namespace platform {

class Mixer;

// The part of an output that the output's own thread uses (PipeWire's real-time thread,
// PulseAudio's loop, the ALSA writer): it renders the mixer and tells how the output goes. The
// sound thread reads what it tells. Nothing here allocates, logs or locks: real-time callbacks
// call it.
class Renderer {
  public:
    using Clock = std::chrono::steady_clock;
    enum class State { kConnecting, kPlaying, kLost };

    explicit Renderer(Mixer& mixer) : mixer_(&mixer) {}

    // On the output's thread: the next frames, interleaved left/right. Silence unless this output
    // is the one that plays the mixer.
    void Render(float* samples, int frames) noexcept;
    // On the output's thread: the server has started calling for sound, or is gone. `reason` is
    // the library's own word for why, copied (shortened to fit); only the first one is kept. All
    // of an output's calls to Lost come from one thread.
    void Started() noexcept;
    void Lost(const char* reason = nullptr) noexcept;
    // On the output's thread: the server played this many periods that the output had not filled
    // in time, a gap in the sound each. Not counted before the output has been called twice since
    // it started or woke: its first call fills the server's buffer from empty.
    void FellBehind(int periods = 1) noexcept;

    // On the sound thread. The time it takes to start again is not a stall.
    void Restart();
    State state() const { return state_.load(); }
    // Why the output was lost, once state() is kLost; "" when it did not say.
    const char* Reason() const { return reason_; }
    // The periods it fell behind by since the last call.
    int TakeFellBehind() { return fellBehind_.exchange(0); }
    Clock::time_point LastCall() const { return Clock::time_point(Clock::duration(lastCall_)); }
    int Calls() const { return calls_.load(); }
    // From now on the output's thread never touches the mixer again, even should it come back
    // from a call that hung; waits for a render that is under way, which is never long.
    void Detach();

  private:
    friend class Mixer;
    void Called();

    std::atomic<Mixer*> mixer_;
    std::atomic<bool> rendering_{false};  // inside Render, between its two checks of mixer_
    std::atomic<State> state_{State::kConnecting};
    std::atomic<Clock::rep> lastCall_{0};
    std::atomic<int> calls_{0};  // since the last start, counted up to two
    std::atomic<int> fellBehind_{0};
    std::atomic<bool> reasonKept_{false};
    char reason_[160] = "";  // written before state_ turns kLost, read after
};

// One way to the speakers that renders the mixer. Made, polled and closed on the sound thread;
// its callbacks run on threads of its own and reach the mixer only through its renderer.
class Output {
  public:
    using Clock = Renderer::Clock;
    using State = Renderer::State;
    // An output that should play but has not been called for this long counts as lost: a server
    // has been seen to leave a stream silent for good without a word, and a stopped server says
    // nothing at all. Until it has been called twice it may take longer: the first call fills the
    // server's buffer, and when the server comes back for more depends on what it plays to (an
    // idle null sink of PulseAudio's plays two seconds at a time before it takes up a new stream's
    // latency).
    static constexpr std::chrono::milliseconds kStallLimit{500};
    static constexpr std::chrono::milliseconds kFirstCallsLimit{3000};
    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;

    // Ends its callbacks, or leaves a thread that hangs in a library call to end by itself.
    virtual ~Output() = default;
    Output(const Output&) = delete;  // the callbacks hold its address
    Output& operator=(const Output&) = delete;
    virtual const char* Name() const = 0;

    State Poll(Clock::time_point now) const;
    // An inactive output is not asked for sound, so that the program and the server can sleep.
    void SetActive(bool active);
    // It fell behind while it played: one that can queue more sound does, from then on.
    virtual void QueueMore() {}
    bool Active() const { return active_; }
    Renderer& renderer() const { return *renderer_; }

  protected:
    explicit Output(Mixer& mixer) : renderer_(std::make_shared<Renderer>(mixer)) {}
    virtual void Activate(bool active) = 0;

    // Shared with a thread that may outlive the output (see AlsaOutput).
    const std::shared_ptr<Renderer> renderer_;

  private:
    bool active_ = true;
};

// Makes an output of that kind and starts connecting it; nullptr when it cannot even start.
template <typename Kind>
std::unique_ptr<Output> StartOutput(Mixer& mixer) {
    auto output = std::make_unique<Kind>(mixer);
    if (!output->Start()) return nullptr;
    return output;
}

}  // namespace platform
