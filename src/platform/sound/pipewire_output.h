#pragma once

#include <memory>

#include "platform/sound/server_stream.h"

namespace platform {

// A native PipeWire playback stream (libpipewire-0.3) rendering the mixer in PipeWire's real-time
// callback. It asks the graph for short periods while it plays; see the .cpp for the figure.
std::unique_ptr<ServerStream> OpenPipeWireStream(OpenAlOutput& mixer);

}  // namespace platform
