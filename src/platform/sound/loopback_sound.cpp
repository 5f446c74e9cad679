// SPDX-License-Identifier: MIT
#include "platform/sound/loopback_sound.h"

#include "platform/sound/mixer.h"

namespace platform {

std::unique_ptr<LoopbackSound> LoopbackSound::Open(int sampleRate) {
    auto mixer = Mixer::Open(sampleRate);
    if (!mixer) return nullptr;
    return std::unique_ptr<LoopbackSound>(new LoopbackSound(std::move(mixer)));
}

LoopbackSound::LoopbackSound(std::unique_ptr<Mixer> mixer) : mixer_(std::move(mixer)) {}

LoopbackSound::~LoopbackSound() = default;

std::unique_ptr<SoundVoice> LoopbackSound::CreateVoice(const PcmSound& sound) {
    return mixer_->CreateVoice(sound);
}

std::vector<float> LoopbackSound::Render(int frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    mixer_->RenderDirect(samples.data(), frames);
    return samples;
}

}  // namespace platform
