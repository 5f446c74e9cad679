// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

namespace platform {

// One message that came in: a channel voice message, 1..3 bytes.
struct MidiMessage {
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t size = 0;
};

// Whether `bytes` are one whole channel voice message (status 0x80..0xEF and its data bytes), the
// only messages a port takes in: clock, active sensing and SysEx are not for a keyboard.
inline bool IsChannelMessage(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes[0] < 0x80 || bytes[0] >= 0xF0) return false;
    const std::size_t size = (bytes[0] & 0xE0) == 0xC0 ? 2 : 3;  // program change, pressure: 2
    if (bytes.size() != size) return false;
    for (std::size_t i = 1; i < size; ++i)
        if (bytes[i] >= 0x80) return false;
    return true;
}

// The input port's name: `вход` on JACK, beside the output; «<name> вход» on the ALSA sequencer.
constexpr const char* kMidiInputName = "вход";

// Who connects what to the input: the port itself connects the system's MIDI devices, as they
// are there and as they come (kDevices), or it leaves all connecting to the user (kNone).
enum class MidiConnect { kDevices, kNone };

// A MIDI output port that synthesizers and DAWs connect to, and an input beside it for keyboards:
// JACK MIDI or the ALSA sequencer.
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

    // Readable while messages wait (for a QSocketNotifier on the event loop); -1 for none. It
    // stays readable until Receive has answered false.
    virtual int InputFd() const { return -1; }
    // The oldest message that came in; false when none waits. Event loop; never waits.
    virtual bool Receive(MidiMessage& message) {
        (void)message;
        return false;
    }
    // Messages that came in and were lost because the program did not take them in time (on the
    // ALSA sequencer: the times its queue overflowed).
    virtual unsigned long InputDropped() const { return 0; }
};

}  // namespace platform
