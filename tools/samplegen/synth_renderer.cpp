// SPDX-License-Identifier: MIT
#include "synth_renderer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr int kChannel = 0;
constexpr int kVelocity = 100;  // a firm mezzo-forte
constexpr int kTuningBank = 0;
constexpr int kTuningProgram = 0;
constexpr std::size_t kBlockFrames = 4096;

void check(int status, const std::string& what) {
    if (status != FLUID_OK) throw std::runtime_error("FluidSynth: " + what + " failed");
}

}  // namespace

SynthRenderer::SynthRenderer(const std::string& soundfontPath, double rate)
    : rate_(rate), settings_(new_fluid_settings()), synth_(nullptr), fontId_(FLUID_FAILED) {
    fluid_settings_setnum(settings_, "synth.sample-rate", rate);
    fluid_settings_setint(settings_, "synth.reverb.active", 0);
    fluid_settings_setint(settings_, "synth.chorus.active", 0);
    fluid_settings_setnum(settings_, "synth.gain", 0.5);
    synth_ = new_fluid_synth(settings_);
    if (synth_ != nullptr) fontId_ = fluid_synth_sfload(synth_, soundfontPath.c_str(), 1);
    if (fontId_ == FLUID_FAILED) {
        if (synth_ != nullptr) delete_fluid_synth(synth_);
        delete_fluid_settings(settings_);
        throw std::runtime_error("cannot load the SoundFont " + soundfontPath);
    }
}

SynthRenderer::~SynthRenderer() {
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
}

std::vector<float> SynthRenderer::render(const NoteRequest& note) {
    fluid_synth_all_sounds_off(synth_, kChannel);
    check(
        fluid_synth_program_select(synth_, kChannel, fontId_, note.preset.bank, note.preset.number),
        "preset selection");

    // Every key at its equal-tempered pitch except the one being corrected.
    std::array<double, 128> pitch{};
    for (std::size_t key = 0; key < pitch.size(); ++key) pitch[key] = 100.0 * key;
    pitch.at(note.key) += note.tuningCents;
    check(fluid_synth_activate_key_tuning(synth_, kTuningBank, kTuningProgram, "samplegen",
                                          pitch.data(), 1),
          "key tuning");
    check(fluid_synth_activate_tuning(synth_, kChannel, kTuningBank, kTuningProgram, 1),
          "tuning activation");

    std::vector<float> mono;
    check(fluid_synth_noteon(synth_, kChannel, note.key, kVelocity), "note on");
    renderInto(mono, static_cast<std::size_t>(note.holdSeconds * rate_));
    fluid_synth_noteoff(synth_, kChannel, note.key);
    const auto totalFrames = static_cast<std::size_t>(note.totalSeconds * rate_);
    if (totalFrames > mono.size()) renderInto(mono, totalFrames - mono.size());
    return mono;
}

void SynthRenderer::renderInto(std::vector<float>& mono, std::size_t frames) {
    std::vector<float> stereo(2 * kBlockFrames);
    while (frames > 0) {
        const std::size_t block = std::min(frames, kBlockFrames);
        check(fluid_synth_write_float(synth_, static_cast<int>(block), stereo.data(), 0, 2,
                                      stereo.data(), 1, 2),
              "rendering");
        for (std::size_t i = 0; i < block; ++i)
            mono.push_back(0.5f * (stereo[2 * i] + stereo[2 * i + 1]));
        frames -= block;
    }
}
