// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/sound/loopback_sound.h"

namespace fuzzing {

// The way a sample file takes into the sound bank: read it, make a voice of it, play it once and
// then looped, mixing a little of each on a loopback device. A file the program reports as
// unreadable raises core::LoadError; any other exception or a crash is a fault.
platform::PcmSound LoadAndPlay(const std::string& path, platform::LoopbackSound& device);

}  // namespace fuzzing
