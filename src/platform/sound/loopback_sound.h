// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <vector>

#include "platform/sound/sound.h"

namespace platform {

class Mixer;

// The mixer with no output: it mixes only when Render is called, stereo float at the given rate.
// For tests and the fuzzer, which need no sound server.
class LoopbackSound final : public SoundDevice {
  public:
    // nullptr when OpenAL has no loopback device.
    static std::unique_ptr<LoopbackSound> Open(int sampleRate);
    ~LoopbackSound() override;

    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) override;
    // Mixes the next frames, interleaved left/right.
    std::vector<float> Render(int frames);

  private:
    explicit LoopbackSound(std::unique_ptr<Mixer> mixer);
    std::unique_ptr<Mixer> mixer_;
};

}  // namespace platform
