#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sound_device.h"

typedef struct ALCdevice_struct ALCdevice;
typedef struct ALCcontext_struct ALCcontext;
class QTimer;

namespace platform {

class OpenAlVoice;

// A sound device on OpenAL Soft: one device and context, one AL buffer and source per voice,
// mixed by OpenAL with its output limiter on, so chords never hard-clip.
//
// Mixing in short periods keeps a note's way to the speakers short but wakes the mixer hundreds
// of times a second, silence or not. So once nothing audible has played for a while (a voice of
// pure silence, looping or not, does not count) the device is paused, and the next note resumes
// it before it starts. This needs the Qt event loop of the thread that plays; without one the
// device simply keeps running. So does OpenAL's wave writer, which loses its place in the file
// when stopped.
class OpenAlSoundDevice : public SoundDevice {
  public:
    static constexpr std::chrono::milliseconds kSilenceBeforePause{10000};

    // The system's default output; nullptr when there is none.
    static std::unique_ptr<OpenAlSoundDevice> OpenDefault(
        std::chrono::milliseconds silenceBeforePause = kSilenceBeforePause);
    // An offline device that mixes only when Render is called: stereo float at the given rate.
    static std::unique_ptr<OpenAlSoundDevice> OpenLoopback(int sampleRate);
    ~OpenAlSoundDevice() override;

    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) override;

    // Loopback only: mixes the next frames, interleaved left/right.
    std::vector<float> Render(int frames);
    // Time from a sample being mixed to it being heard, as the device reports it.
    std::int64_t LatencyNanoseconds();
    // Sound mixed so far, as time; it stands still while the device is paused.
    std::int64_t ClockNanoseconds();
    int SampleRate() const;
    // Whether the device is paused for silence.
    bool Paused() const { return paused_; }

  private:
    OpenAlSoundDevice(ALCdevice* device, ALCcontext* context, bool loopback);
    static std::unique_ptr<OpenAlSoundDevice> WithContext(ALCdevice* device,
                                                          const std::vector<int>& attributes,
                                                          bool loopback);
    friend class OpenAlVoice;
    void MakeCurrent() const;
    // The device's clock and latency; both -1 when it cannot tell.
    std::array<std::int64_t, 2> ClockAndLatency();
    void PauseWhenSilentFor(std::chrono::milliseconds silence);
    // Before a voice starts: resumes a paused device and puts the pause off again.
    void Wake();
    void PauseUnlessAudible();

    ALCdevice* device_;
    ALCcontext* context_;
    bool loopback_;
    std::vector<const OpenAlVoice*> voices_;  // every voice alive on the device
    std::unique_ptr<QTimer> silenceTimer_;
    bool paused_ = false;
};

}  // namespace platform
