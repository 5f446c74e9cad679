// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <AL/alc.h>

#include "platform/sound/limiter.h"
#include "platform/sound/output.h"
#include "platform/sound/sound.h"

namespace platform {

class MixerVoice;

// OpenAL Soft's mixer on a loopback device, made once for the program's life: one AL buffer and
// source per voice, the mix held under full scale by a limiter of our own (OpenAL's costs several
// times the whole mix), so chords never hard-clip. It renders only
// when an output asks, and only for the output that owns it, so one output plays it at any moment
// while others connect beside it; moving from one to another fades the old one out over its last
// period and the new one in over its first, so the move makes no click.
//
// Voices are made and played on the event loop; outputs render on their own threads. OpenAL Soft
// 1.19 renders a loopback device under the device's backend lock, which every al* call that
// changes what is playing takes too, and reads source states through atomics, so rendering on one
// thread while another plays voices is as safe as with any playback device. What OpenAL does not
// guard is the device itself: the mixer must outlive every render (see Renderer::Detach).
class Mixer {
  public:
    using Clock = std::chrono::steady_clock;
    // Where the mixer reads the time, on every thread that uses it: the steady clock, or a test's.
    using Now = std::function<Clock::time_point()>;
    // A note that waits this long for its first period (no output played it: the server stalled
    // or went away) is dropped rather than heard late. Only once some output has played, or a
    // while after start-up: the first notes wait for the first output.
    static constexpr std::chrono::milliseconds kLateLimit{100};
    static constexpr std::chrono::seconds kStartupWait{5};

    // nullptr, having said why, when OpenAL has no loopback device or cannot mix on it.
    static std::unique_ptr<Mixer> Open(
        int sampleRate = Output::kRate, Now now = [] { return Clock::now(); });
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Event loop. Throws when OpenAL cannot hold the sound.
    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound);
    // Event loop, on every tick: drops the notes that waited too long (kLateLimit); how many.
    int DropLateNotes();
    // Runs on the event loop as an audible voice starts, before the mixer renders it: what a
    // sleeping output needs to wake up for.
    void OnAudibleStart(std::function<void()> wake) { wake_ = std::move(wake); }

    // Sound thread: whether anything audible may be sounding; a voice of pure silence, looping
    // or not, does not count.
    bool Audible() const;
    // Sound thread: the mixer goes to `next`, through the owner's next render when the owner is
    // still being called (the smooth way), else at once. Returns once the old owner is out.
    void HandTo(Renderer& next, bool ownerCalled);
    // Sound thread, before an output closes: it no longer owns the mixer nor waits to.
    void Release(Renderer& renderer);

    // Renders the next frames at once, for a mixer that no output plays (tests and the fuzzer).
    void RenderDirect(float* samples, int frames);

  private:
    friend class Renderer;
    friend class MixerVoice;
    Mixer(ALCdevice* device, ALCcontext* context, Now now);
    // On an output's thread, for Renderer::Render.
    void Mix(Renderer& who, float* samples, int frames);
    void MakeCurrent() const;
    void Played(MixerVoice& voice, bool looping);
    static void WaitOut(const Renderer* renderer);

    ALCdevice* device_;
    ALCcontext* context_;
    void (*render_)(ALCdevice*, void*, int) = nullptr;
    const Now now_;
    const Clock::time_point opened_;
    std::function<void()> wake_;
    std::vector<MixerVoice*> voices_;  // event loop

    Limiter limiter_;  // the owner's, as it renders
    std::atomic<Renderer*> owner_{nullptr};
    std::atomic<Renderer*> next_{nullptr};
    std::atomic<bool> fadeIn_{false};
    std::atomic<Clock::rep> lastRender_{0};  // when an owner last rendered; 0 before the first
    std::atomic<Clock::rep> audibleUntil_{0};
    std::atomic<int> audibleLoops_{0};
};

}  // namespace platform
