// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <vector>

#include "pipewire_connection.h"
#include "sound_server.h"

namespace bench {

// The yardstick on PipeWire: a native stream asking the graph for `quantum` frames a cycle, its
// process callback on the data thread writing silence, or the burst from its start in the first
// cycle after it was asked for. Whatever it takes to be heard is the server's own share.
class PipeWireReferenceClient {
  public:
    PipeWireReferenceClient(const testing_support::SoundServer& server, int quantum);
    ~PipeWireReferenceClient();
    bool ready() const { return ready_; }
    // The moment it was asked for.
    std::chrono::steady_clock::time_point Burst();

  private:
    static void OnProcess(void* client);

    PipeWireConnection connection_;
    const std::vector<float> burst_;
    std::atomic<bool> burstAsked_{false};
    std::size_t burstWritten_;  // samples; the data thread's alone
    pw_stream* stream_ = nullptr;
    bool ready_ = false;
    spa_hook listener_{};
};

}  // namespace bench
