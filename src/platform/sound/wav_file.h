#pragma once

#include <string>

#include "platform/sound/sound_device.h"

namespace platform {

// Longest sound a sample file may hold; anything longer is refused rather than read into memory.
constexpr int kMaxSampleSeconds = 10 * 60;

// Reads a whole WAV file as its own header describes it (any integer or float PCM layout, mono or
// stereo, any rate). 8-bit files stay 8-bit; everything else becomes 16-bit. A file that cannot
// be used raises LoadError with its path and the reason.
PcmSound ReadWavFile(const std::string& path);

}  // namespace platform
