// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "sound_server.h"

namespace bench {

// What a reference client plays when asked: 30 ms of 1 kHz starting at its crest, so its first
// frame is already loud; interleaved stereo.
std::vector<float> BurstSamples(int rate);

// The yardstick for a program's latency: a client that plays straight to the sound server with a
// 5 ms buffer, kept going with silence, and writes a short burst into it when asked. Whatever it
// takes to be heard is the server's own share.
class ReferenceClient {
  public:
    explicit ReferenceClient(const testing_support::SoundServer& server);
    ~ReferenceClient();
    bool ready() const { return stream_ != nullptr; }
    // Queues the burst behind the silence already written; the time it was written.
    std::chrono::steady_clock::time_point Burst();
    // What the server made of every playback stream but ours: buffer and sink latency, one
    // line each.
    std::string OtherStreams();

  private:
    static void OnWritable(pa_stream* stream, std::size_t bytes, void* client);

    testing_support::PulseConnection connection_;
    const std::vector<float> burst_;
    pa_stream* stream_ = nullptr;
};

}  // namespace bench
