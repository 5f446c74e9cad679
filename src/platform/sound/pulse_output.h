#pragma once

#include <memory>

#include "platform/sound/server_stream.h"

namespace platform {

// A PulseAudio playback stream (libpulse, on a threaded main loop) rendering the mixer in its
// write callback, with a short buffer; see the .cpp for the figures. PipeWire's PulseAudio service
// answers it too.
std::unique_ptr<ServerStream> OpenPulseStream(OpenAlOutput& mixer);

}  // namespace platform
