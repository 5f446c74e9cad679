// SPDX-License-Identifier: MIT
#include "load_and_play.h"

#include "platform/sound/sound.h"

namespace fuzzing {

namespace {
// Enough to pass the start of the sound through the resampler and the limiter.
constexpr int kFramesToMix = 512;
}  // namespace

platform::PcmSound LoadAndPlay(const std::string& path, platform::LoopbackSound& device) {
    platform::PcmSound sound = platform::ReadWavFile(path);
    auto voice = device.CreateVoice(sound);
    voice->Play(false);
    device.Render(kFramesToMix);
    voice->Rewind();
    voice->Play(true);
    device.Render(kFramesToMix);
    return sound;
}

}  // namespace fuzzing
