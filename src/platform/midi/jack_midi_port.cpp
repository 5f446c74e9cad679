#include "platform/midi/jack_midi_port.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <thread>

namespace platform {

namespace {

// A message travels the queue as one record: its length, then its bytes. The queue holds 1023
// records: a chord of all 36 keys, down and up, with a program change is 73.
constexpr std::size_t kRecord = 4;
constexpr std::size_t kQueueBytes = 4096;

}  // namespace

std::unique_ptr<JackMidiPort> JackMidiPort::Open(const std::string& name) {
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!client) return nullptr;
    std::unique_ptr<JackMidiPort> port(new JackMidiPort(client));
    port->port_ =
        jack_port_register(client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port->port_ || jack_set_process_callback(client, &Process, port.get()) != 0)
        return nullptr;
    jack_on_shutdown(client, &Shutdown, port.get());
    jack_set_port_connect_callback(client, &Connected, port.get());
    if (jack_activate(client) != 0) return nullptr;
    return port;
}

JackMidiPort::JackMidiPort(jack_client_t* client)
    : client_(client), queue_(jack_ringbuffer_create(kQueueBytes)) {}

JackMidiPort::~JackMidiPort() {
    jack_client_close(client_);  // no callback runs after it
    jack_ringbuffer_free(queue_);
}

void JackMidiPort::Send(std::span<const std::uint8_t> message) {
    if (lost_ || message.empty() || message.size() >= kRecord) return;
    std::uint8_t record[kRecord] = {static_cast<std::uint8_t>(message.size())};
    std::copy(message.begin(), message.end(), record + 1);
    // A full queue means JACK has stopped taking messages: dropping beats waiting for it.
    if (jack_ringbuffer_write_space(queue_) >= kRecord)
        jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(record), kRecord);
}

// The queue is empty once a cycle has taken its messages; the ports they went to read them in the
// same cycle, so that cycle has to be over before the port may go: one more cycle has begun.
void JackMidiPort::Drain(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto waitUntil = [&](auto done) {
        while (!lost_ && !done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    waitUntil([this] { return jack_ringbuffer_read_space(queue_) == 0; });
    const unsigned taken = cycles_;
    waitUntil([this, taken] { return cycles_ - taken >= 2; });
}

// On JACK's real-time thread: takes what is queued, at the cycle's first frame, without waiting.
// A port's buffer holds only so many events (on JACK1 a period's worth of bytes): what does not
// fit stays queued, in order, for the next cycle. Only a message that does not fit even into an
// empty buffer is dropped, lest it hold up the queue for good.
int JackMidiPort::Process(jack_nframes_t frames, void* self) {
    auto& port = *static_cast<JackMidiPort*>(self);
    void* buffer = jack_port_get_buffer(port.port_, frames);
    jack_midi_clear_buffer(buffer);
    char record[kRecord];
    for (bool empty = true; jack_ringbuffer_peek(port.queue_, record, kRecord) == kRecord;
         empty = false) {
        const auto* message = reinterpret_cast<const jack_midi_data_t*>(record);
        if (jack_midi_event_write(buffer, 0, message + 1, message[0]) != 0 && !empty) break;
        jack_ringbuffer_read_advance(port.queue_, kRecord);
    }
    ++port.cycles_;
    return 0;
}

void JackMidiPort::Shutdown(void* self) {
    static_cast<JackMidiPort*>(self)->lost_ = true;
}

// On one of JACK's threads, for any two ports of the server.
void JackMidiPort::Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* self) {
    auto& port = *static_cast<JackMidiPort*>(self);
    const jack_port_t* ours = port.port_;
    if (connect &&
        (jack_port_by_id(port.client_, a) == ours || jack_port_by_id(port.client_, b) == ours))
        port.connected_ = true;
}

}  // namespace platform
