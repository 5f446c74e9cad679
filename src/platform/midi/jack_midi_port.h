#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <jack/ringbuffer.h>
#include <jack/types.h>

#include "platform/midi/midi_port.h"

namespace platform {

// A JACK MIDI output port, on jackd or on PipeWire's JACK library. Messages wait in a lock-free
// queue and go out in order at the start of the next JACK cycle whose buffer has room for them,
// from JACK's own thread; the program never starts a server and never waits for one.
class JackMidiPort : public MidiPort {
  public:
    // Client and port both named `name`; nullptr when no JACK server answers.
    static std::unique_ptr<JackMidiPort> Open(const std::string& name);
    ~JackMidiPort() override;

    void Send(std::span<const std::uint8_t> message) override;
    bool Alive() const override { return !lost_; }
    void Drain(std::chrono::milliseconds limit) override;
    bool TakeNewConnection() override { return connected_.exchange(false); }
    const char* Where() const override { return "JACK"; }

  private:
    explicit JackMidiPort(jack_client_t* client);
    static int Process(jack_nframes_t frames, void* self);
    static void Shutdown(void* self);
    static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* self);

    jack_client_t* client_;
    jack_port_t* port_ = nullptr;
    jack_ringbuffer_t* queue_;
    std::atomic<bool> lost_{false};
    std::atomic<bool> connected_{false};
    std::atomic<unsigned> cycles_{0};  // JACK cycles run, for Drain
};

}  // namespace platform
