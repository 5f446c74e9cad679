// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include <jack/types.h>

#include "platform/midi/jack_connector.h"
#include "platform/midi/midi_port.h"

namespace platform {

// A JACK MIDI port pair, on jackd or on PipeWire's JACK library: the output, and the input `вход`
// beside it. Messages travel lock-free queues: those sent go out in order at the start of the
// next JACK cycle whose buffer has room for them, from JACK's own thread, and those that come in
// wait for the event loop, which an eventfd wakes. The program never starts a server, and never
// waits for one on the event loop: the connector makes the requests after opening.
class JackMidiPort : public MidiPort {
  public:
    // Client and output port both named `name`; nullptr when no JACK server answers, or it
    // refuses the client, with the reason in `failure`.
    static std::unique_ptr<JackMidiPort> Open(const std::string& name,
                                              MidiConnect connect = MidiConnect::kDevices,
                                              std::string* failure = nullptr);
    ~JackMidiPort() override;

    void Send(std::span<const std::uint8_t> message) override;
    bool Alive() const override;
    void Drain(std::chrono::milliseconds limit) override;
    bool TakeNewConnection() override;
    const char* Where() const override { return "JACK"; }
    int InputFd() const override;
    bool Receive(MidiMessage& message) override;
    unsigned long InputDropped() const override;

  private:
    struct Queues;  // what JACK's callbacks use, kept by the connector until the client closes
    JackMidiPort(std::shared_ptr<Queues> queues, jack_port_t* follow);
    static int Process(jack_nframes_t frames, void* queues) noexcept;
    static void Shutdown(void* queues) noexcept;
    static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* queues) noexcept;

    std::shared_ptr<Queues> queues_;
    JackConnector connector_;  // last: it goes first, closing the client
};

}  // namespace platform
