// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "platform/sound/output.h"

namespace platform {

// The outputs that play the mixer, stereo float at Output::kRate. Each starts connecting at once,
// in the background, and never waits for its server; nullptr when one cannot even start.
// PipeWire: a native stream rendered in PipeWire's real-time thread, with short periods.
std::unique_ptr<Output> OpenPipeWireOutput(Mixer& mixer);
// PulseAudio (PipeWire's PulseAudio service answers it too): a stream with a short buffer.
std::unique_ptr<Output> OpenPulseOutput(Mixer& mixer);
// ALSA's `default` PCM: a sound card, or a sound server through ALSA's plug-ins.
std::unique_ptr<Output> OpenAlsaOutput(Mixer& mixer);

}  // namespace platform
