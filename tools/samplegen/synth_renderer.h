// SPDX-License-Identifier: MIT
#pragma once

#include <fluidsynth.h>

#include <string>
#include <vector>

// A SoundFont preset, addressed as the SoundFont does: bank and preset number.
struct Preset {
    int bank;
    int number;
};

// One note to render: the key is pressed at the start and released after `holdSeconds`.
struct NoteRequest {
    Preset preset;
    int key;
    double tuningCents;  // shift from the key's equal-tempered pitch
    double holdSeconds;
    double totalSeconds;
};

// Renders single notes from a SoundFont with FluidSynth, dry (no reverb or chorus), mono.
class SynthRenderer {
  public:
    SynthRenderer(const std::string& soundfontPath, double rate);
    ~SynthRenderer();
    SynthRenderer(const SynthRenderer&) = delete;
    SynthRenderer& operator=(const SynthRenderer&) = delete;

    std::vector<float> render(const NoteRequest& note);

  private:
    void renderInto(std::vector<float>& mono, std::size_t frames);

    double rate_;
    fluid_settings_t* settings_;
    fluid_synth_t* synth_;
    int fontId_;
};
