#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace platform {

// A MIDI output port that synthesizers and DAWs connect to: JACK MIDI or the ALSA sequencer.
class MidiPort {
  public:
    virtual ~MidiPort() = default;
    // Sends one message of up to three bytes, in order with the ones before, without waiting; a
    // lost port drops it.
    virtual void Send(std::span<const std::uint8_t> message) = 0;
    // False once the port's server has gone away.
    virtual bool Alive() const { return true; }
    // Waits, at most `limit`, until every message sent has left the program.
    virtual void Drain(std::chrono::milliseconds limit) { (void)limit; }
    // Whether something was connected to the port since the last call.
    virtual bool TakeNewConnection() { return false; }
    // Where the port lives, for messages: "JACK", "the ALSA sequencer".
    virtual const char* Where() const = 0;
};

}  // namespace platform
