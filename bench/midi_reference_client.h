// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "jack_server.h"

namespace bench {

// The yardstick for the program's MIDI latency: a JACK client that writes a note on at the first
// frame of its next cycle when asked, as the program does, with no key, X server or event loop
// before it. Whatever it takes to reach a synth is the server's own share.
class MidiReferenceClient {
  public:
    static constexpr const char* kPort = "midi-reference:out";
    static constexpr std::uint8_t kNoteOn = 0x9F;  // channel 16, apart from the program's

    explicit MidiReferenceClient(const testing_support::JackServer& server);
    ~MidiReferenceClient();
    MidiReferenceClient(const MidiReferenceClient&) = delete;
    MidiReferenceClient& operator=(const MidiReferenceClient&) = delete;
    bool ready() const { return port_ != nullptr; }

    // Asks for the note on; the time it was asked.
    std::chrono::steady_clock::time_point NoteOn(std::uint8_t note);

  private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* client_;
    jack_port_t* port_ = nullptr;
    std::atomic<int> asked_{-1};  // the note to send, or -1
};

}  // namespace bench
