#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sound_device.h"

typedef struct ALCdevice_struct ALCdevice;
typedef struct ALCcontext_struct ALCcontext;

namespace platform {

// A sound device on OpenAL Soft: one device and context, one AL buffer and source per voice,
// mixed by OpenAL with its output limiter on, so chords never hard-clip.
class OpenAlSoundDevice : public SoundDevice {
  public:
    // The system's default output; nullptr when there is none.
    static std::unique_ptr<OpenAlSoundDevice> OpenDefault();
    // An offline device that mixes only when Render is called: stereo float at the given rate.
    static std::unique_ptr<OpenAlSoundDevice> OpenLoopback(int sampleRate);
    ~OpenAlSoundDevice() override;

    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) override;

    // Loopback only: mixes the next frames, interleaved left/right.
    std::vector<float> Render(int frames);
    // Time from a sample being mixed to it being heard, as the device reports it.
    std::int64_t LatencyNanoseconds();
    int SampleRate() const;

  private:
    OpenAlSoundDevice(ALCdevice* device, ALCcontext* context, bool loopback);
    static std::unique_ptr<OpenAlSoundDevice> WithContext(ALCdevice* device,
                                                          const std::vector<int>& attributes,
                                                          bool loopback);
    friend class OpenAlVoice;
    void MakeCurrent() const;

    ALCdevice* device_;
    ALCcontext* context_;
    bool loopback_;
};

}  // namespace platform
