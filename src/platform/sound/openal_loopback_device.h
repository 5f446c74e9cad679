#pragma once

#include <memory>
#include <vector>

#include "platform/sound/openal_sound_device.h"

namespace platform {

// The sound device on OpenAL's loopback output, for tests and the fuzzer: it mixes only when
// Render is called, stereo float at the given rate, and never pauses.
class OpenAlLoopbackDevice : public OpenAlSoundDevice {
  public:
    // nullptr when OpenAL has no loopback output.
    static std::unique_ptr<OpenAlLoopbackDevice> Open(int sampleRate);
    // Mixes the next frames, interleaved left/right; silence while there is no output.
    std::vector<float> Render(int frames);

  protected:
    OpenAlLoopbackDevice(int sampleRate, Timing timing);
};

}  // namespace platform
