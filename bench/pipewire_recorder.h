// SPDX-License-Identifier: MIT
#pragma once

#include "pipewire_connection.h"
#include "sound_server.h"

namespace bench {

// Records the monitor of a PipeWire server's sink natively, from construction on. Each chunk is
// timed as its process callback runs on the data thread, in the cycle in which the sink takes
// the sound. The quantum it asks for is the graph's while no other stream asks for less.
class PipeWireRecorder : public testing_support::HeardSound {
  public:
    PipeWireRecorder(const testing_support::SoundServer& server, int quantum);
    ~PipeWireRecorder();
    bool recording() const { return recording_; }
    // Asks the graph for `quantum` frames a cycle from now on.
    void AskQuantum(int quantum);

  private:
    static void OnProcess(void* recorder);

    PipeWireConnection connection_;
    const int rate_;
    pw_stream* stream_ = nullptr;
    bool recording_ = false;
    spa_hook listener_{};
};

}  // namespace bench
