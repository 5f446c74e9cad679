// SPDX-License-Identifier: MIT
#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/sound/outputs.h"

namespace platform {

namespace {

// ALSA's `default` device: a sound card, or a sound server through one of ALSA's plug-ins. Writes
// of a period each keep the device's buffer full, so a note is heard about a buffer after the
// write that holds it. ALSA's PulseAudio plug-in plays nothing with periods under 4 ms.
constexpr const char* kDevice = "default";
constexpr snd_pcm_uframes_t kPeriod = 256;  // 5.3 ms
constexpr unsigned kPeriods = 3;
// How long the writer waits for room before it looks whether it should stop.
constexpr int kWaitMs = 50;
// How long closing waits for a writer stuck in a plug-in (whose server stopped answering) before
// it leaves the writer to end by itself.
constexpr auto kCloseLimit = std::chrono::milliseconds(200);

// Writers alive, stuck ones included: while one hangs in a plug-in whose server does not answer,
// another would only hang beside it.
std::atomic<int> writers{0};

// Opening `default` makes ALSA read its whole configuration again, milliseconds of work: while it
// keeps failing at once (no card, no server behind a plug-in) it is tried less and less often, up
// to every eight seconds. The servers' own outputs find a server that starts much sooner.
class Backoff {
  public:
    using Clock = std::chrono::steady_clock;
    bool Due() const { return Clock::now().time_since_epoch().count() >= next_.load(); }
    void Failed() {
        const int failures = std::min(failures_.fetch_add(1) + 1, 3);
        next_.store(
            (Clock::now() + std::chrono::seconds(1 << failures)).time_since_epoch().count());
    }
    void Opened() { failures_.store(0); }

  private:
    std::atomic<int> failures_{0};
    std::atomic<Clock::rep> next_{0};
};
Backoff backoff;

// What the writer's thread shares with the output; it outlives the output when the writer hangs.
struct Writer {
    std::shared_ptr<Renderer> renderer;
    std::mutex mutex;  // over active and stop, for the pause's wait
    std::condition_variable changed;
    bool active = true;
    bool stop = false;
    std::promise<void> done;
};

// What ALSA says of a write, wait or avail: counts an underrun and recovers from it, or from a
// suspend; false, with ALSA's error, when the device is gone.
bool Recover(snd_pcm_t* pcm, long result, Renderer& renderer, int& error) {
    if (result >= 0 || result == -EAGAIN) return true;
    if (result == -EPIPE) renderer.FellBehind();
    error = snd_pcm_recover(pcm, static_cast<int>(result), 1);
    return error == 0;
}

// The device set up for the mixer; nullptr, with ALSA's error, when it cannot be.
snd_pcm_t* OpenDevice(int& error) {
    // ALSA keeps what it read of its configuration, and its PulseAudio hook makes `default` the
    // server only when one ran as ALSA read it: read again, so that a server that came since is
    // found.
    snd_config_update_free_global();
    snd_pcm_t* pcm = nullptr;
    if ((error = snd_pcm_open(&pcm, kDevice, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK)) < 0)
        return nullptr;
    snd_pcm_hw_params_t* hardware = nullptr;
    snd_pcm_hw_params_alloca(&hardware);
    snd_pcm_uframes_t period = kPeriod;
    snd_pcm_uframes_t buffer = kPeriod * kPeriods;
    unsigned rate = Output::kRate;
    const auto ok = [&error](int result) { return (error = std::min(result, 0)) == 0; };
    const bool set =
        ok(snd_pcm_hw_params_any(pcm, hardware)) &&
        ok(snd_pcm_hw_params_set_access(pcm, hardware, SND_PCM_ACCESS_RW_INTERLEAVED)) &&
        ok(snd_pcm_hw_params_set_format(pcm, hardware, SND_PCM_FORMAT_FLOAT)) &&
        ok(snd_pcm_hw_params_set_channels(pcm, hardware, Output::kChannels)) &&
        ok(snd_pcm_hw_params_set_rate(pcm, hardware, rate, 0)) &&
        ok(snd_pcm_hw_params_set_period_size_near(pcm, hardware, &period, nullptr)) &&
        ok(snd_pcm_hw_params_set_buffer_size_near(pcm, hardware, &buffer)) &&
        ok(snd_pcm_hw_params(pcm, hardware)) && ok(snd_pcm_prepare(pcm));
    if (set) return pcm;
    snd_pcm_close(pcm);
    return nullptr;
}

// Renders a period and writes it. The device plays it within a few periods, so nothing here may
// wait but the write: it never allocates, logs or locks.
snd_pcm_sframes_t PlayPeriod(snd_pcm_t* pcm, Renderer& renderer, float* samples) noexcept {
    renderer.Render(samples, kPeriod);
    return snd_pcm_writei(pcm, samples, kPeriod);
}

// Waits until the writer may play; false when it should stop.
bool AwaitActive(Writer& writer, snd_pcm_t* pcm, bool& paused) {
    std::unique_lock lock(writer.mutex);
    if (!writer.active && !writer.stop) {
        lock.unlock();
        snd_pcm_drop(pcm);  // the sound queued is let go, not played late
        paused = true;
        lock.lock();
        writer.changed.wait(lock, [&] { return writer.active || writer.stop; });
    }
    return !writer.stop;
}

// The writer's thread: opens the device, then keeps its buffer full from the mixer. Every ALSA
// call is here, none on the sound thread: a plug-in may wait for its server without a limit.
void Write(std::shared_ptr<Writer> writer) {
    Renderer& renderer = *writer->renderer;
    int error = 0;
    snd_pcm_t* pcm = OpenDevice(error);
    if (pcm)
        backoff.Opened();
    else
        backoff.Failed();
    std::vector<float> samples(kPeriod * Output::kChannels);
    bool started = false, paused = false;
    while (pcm && AwaitActive(*writer, pcm, paused)) {
        if (std::exchange(paused, false) && (error = snd_pcm_prepare(pcm)) < 0) break;
        const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm);
        if (room < 0 && !Recover(pcm, room, renderer, error)) break;
        if (room < static_cast<snd_pcm_sframes_t>(kPeriod)) {
            const int waited = snd_pcm_wait(pcm, kWaitMs);
            if (waited < 0 && !Recover(pcm, waited, renderer, error)) break;
            continue;
        }
        const snd_pcm_sframes_t written = PlayPeriod(pcm, renderer, samples.data());
        if (written < 0 && !Recover(pcm, written, renderer, error)) break;
        if (written > 0 && !std::exchange(started, true)) renderer.Started();
    }
    renderer.Lost(error < 0 ? snd_strerror(error) : nullptr);
    if (pcm) snd_pcm_close(pcm);
    writer->done.set_value();
    writers.fetch_sub(1);
}

class AlsaOutput final : public Output {
  public:
    explicit AlsaOutput(Mixer& mixer) : Output(mixer), writer_(std::make_shared<Writer>()) {
        writer_->renderer = renderer_;
    }
    ~AlsaOutput() override {
        {
            std::lock_guard lock(writer_->mutex);
            writer_->stop = true;
        }
        writer_->changed.notify_one();
        if (thread_.joinable() && done_.wait_for(kCloseLimit) == std::future_status::ready)
            thread_.join();
        else if (thread_.joinable())
            thread_.detach();  // it holds all it uses, and ends once the plug-in returns
    }

    bool Start() {
        if (writers.load() > 0) return false;  // the last one is still stuck: wait for it
        if (!backoff.Due()) return false;
        writers.fetch_add(1);
        done_ = writer_->done.get_future();
        thread_ = std::thread(Write, writer_);
        return true;
    }
    const char* Name() const override { return "ALSA"; }

  private:
    void Activate(bool active) override {
        {
            std::lock_guard lock(writer_->mutex);
            writer_->active = active;
        }
        writer_->changed.notify_one();
    }

    std::shared_ptr<Writer> writer_;
    std::future<void> done_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<Output> OpenAlsaOutput(Mixer& mixer) {
    return StartOutput<AlsaOutput>(mixer);
}

}  // namespace platform
