// SPDX-License-Identifier: MIT
#include "platform/midi/jack_midi_port.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace platform {

namespace {

// A message travels a queue as one record: its length, then its bytes. The outgoing queue holds
// 1023 records: a chord of all 36 keys, down and up, with a program change is 73. The incoming
// one holds 4095, a second of a busy controller's stream, for an event loop held up that long.
constexpr std::size_t kRecord = 4;
constexpr std::size_t kOutgoingBytes = 4096;
constexpr std::size_t kIncomingBytes = 16384;

// Why jack_client_open gave no client, as its status tells.
std::string Refusal(jack_status_t status) {
    if (status & JackServerFailed) return "no JACK server answers";
    if (status & JackVersionError) return "the JACK server speaks another protocol version";
    if (status & JackNameNotUnique) return "the JACK server has a client of that name";
    return "the JACK server refused the client (status " + std::to_string(status) + ")";
}

}  // namespace

struct JackMidiPort::Queues {
    explicit Queues(jack_client_t* client) : client(client) {}
    ~Queues() {
        jack_ringbuffer_free(outgoing);
        jack_ringbuffer_free(incoming);
        if (arrived >= 0) close(arrived);
    }

    jack_client_t* client;
    jack_port_t* output = nullptr;
    jack_port_t* input = nullptr;
    jack_ringbuffer_t* outgoing = jack_ringbuffer_create(kOutgoingBytes);
    jack_ringbuffer_t* incoming = jack_ringbuffer_create(kIncomingBytes);
    int arrived = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);  // written as `incoming` gets more
    std::atomic<bool> lost{false};
    std::atomic<bool> connected{false};
    std::atomic<unsigned> cycles{0};  // JACK cycles run, for Drain
    std::atomic<unsigned long> dropped{0};
};

std::unique_ptr<JackMidiPort> JackMidiPort::Open(const std::string& name, MidiConnect connect,
                                                 std::string* failure) {
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client) {
        if (failure) *failure = Refusal(status);
        return nullptr;
    }
    auto queues = std::make_shared<Queues>(client);
    queues->output =
        jack_port_register(client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    queues->input =
        jack_port_register(client, kMidiInputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    // From here the connector closes the client, whatever comes.
    std::unique_ptr<JackMidiPort> port(
        new JackMidiPort(queues, connect == MidiConnect::kDevices ? queues->input : nullptr));
    if (!queues->output || !queues->input || queues->arrived < 0 ||
        jack_set_process_callback(client, &Process, queues.get()) != 0) {
        if (failure) *failure = "the JACK server did not take the ports";
        return nullptr;
    }
    jack_on_shutdown(client, &Shutdown, queues.get());
    jack_set_port_connect_callback(client, &Connected, queues.get());
    if (jack_activate(client) != 0) {
        if (failure) *failure = "the JACK server did not start the client";
        return nullptr;
    }
    port->connector_.Start();
    return port;
}

JackMidiPort::JackMidiPort(std::shared_ptr<Queues> queues, jack_port_t* follow)
    : queues_(queues), connector_(queues->client, follow, queues) {}

JackMidiPort::~JackMidiPort() = default;

void JackMidiPort::Send(std::span<const std::uint8_t> message) {
    if (queues_->lost || message.empty() || message.size() >= kRecord) return;
    std::uint8_t record[kRecord] = {static_cast<std::uint8_t>(message.size())};
    std::copy(message.begin(), message.end(), record + 1);
    // A full queue means JACK has stopped taking messages: dropping beats waiting for it.
    if (jack_ringbuffer_write_space(queues_->outgoing) >= kRecord)
        jack_ringbuffer_write(queues_->outgoing, reinterpret_cast<const char*>(record), kRecord);
}

bool JackMidiPort::Alive() const {
    return !queues_->lost;
}

// The queue is empty once a cycle has taken its messages; the ports they went to read them in the
// same cycle, so that cycle has to be over before the port may go: one more cycle has begun.
void JackMidiPort::Drain(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto waitUntil = [&](auto done) {
        while (!queues_->lost && !done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    waitUntil([this] { return jack_ringbuffer_read_space(queues_->outgoing) == 0; });
    const unsigned taken = queues_->cycles;
    waitUntil([this, taken] { return queues_->cycles - taken >= 2; });
}

bool JackMidiPort::TakeNewConnection() {
    return queues_->connected.exchange(false);
}

int JackMidiPort::InputFd() const {
    return queues_->arrived;
}

// The eventfd is emptied once the queue is found empty; a cycle that wrote in between has woken
// it again, or is seen by the second look.
bool JackMidiPort::Receive(MidiMessage& message) {
    jack_ringbuffer_t* incoming = queues_->incoming;
    if (jack_ringbuffer_read_space(incoming) < kRecord) {
        std::uint64_t wakes;
        if (read(queues_->arrived, &wakes, sizeof wakes) < 0 ||
            jack_ringbuffer_read_space(incoming) < kRecord)
            return false;
    }
    std::uint8_t record[kRecord];
    jack_ringbuffer_read(incoming, reinterpret_cast<char*>(record), kRecord);
    message.size = record[0];
    std::copy(record + 1, record + kRecord, message.bytes.begin());
    return true;
}

unsigned long JackMidiPort::InputDropped() const {
    return queues_->dropped;
}

// On JACK's real-time thread, without waiting. Out: takes what is queued, at the cycle's first
// frame. A port's buffer holds only so many events (on JACK1 a period's worth of bytes): what does
// not fit stays queued, in order, for the next cycle; only a message that does not fit even into
// an empty buffer is dropped, lest it hold up the queue for good. In: keeps the channel messages,
// in order, and wakes the event loop once; a full queue drops the newest.
// noexcept: nothing may unwind into JACK's C code.
int JackMidiPort::Process(jack_nframes_t frames, void* arg) noexcept {
    auto& queues = *static_cast<Queues*>(arg);
    void* out = jack_port_get_buffer(queues.output, frames);
    jack_midi_clear_buffer(out);
    char record[kRecord];
    for (bool empty = true; jack_ringbuffer_peek(queues.outgoing, record, kRecord) == kRecord;
         empty = false) {
        const auto* message = reinterpret_cast<const jack_midi_data_t*>(record);
        if (jack_midi_event_write(out, 0, message + 1, message[0]) != 0 && !empty) break;
        jack_ringbuffer_read_advance(queues.outgoing, kRecord);
    }

    void* in = jack_port_get_buffer(queues.input, frames);
    bool took = false;
    for (std::uint32_t index = 0, count = jack_midi_get_event_count(in); index < count; ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, index) != 0 ||
            !IsChannelMessage({event.buffer, event.size}))
            continue;
        if (jack_ringbuffer_write_space(queues.incoming) < kRecord) {
            ++queues.dropped;
            continue;
        }
        record[0] = static_cast<char>(event.size);
        std::copy(event.buffer, event.buffer + event.size, record + 1);
        jack_ringbuffer_write(queues.incoming, record, kRecord);
        took = true;
    }
    if (took) {
        const std::uint64_t one = 1;
        (void)!write(queues.arrived, &one, sizeof one);
    }
    ++queues.cycles;
    return 0;
}

// On JACK's thread as the server goes: an atomic store, nothing more. noexcept: nothing may unwind
// into JACK's C code.
void JackMidiPort::Shutdown(void* queues) noexcept {
    static_cast<Queues*>(queues)->lost = true;
}

// On JACK's notification thread, for any two ports of the server: lookups and an atomic store.
// noexcept: nothing may unwind into JACK's C code.
void JackMidiPort::Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* arg) noexcept {
    auto& queues = *static_cast<Queues*>(arg);
    const jack_port_t* ours = queues.output;
    if (connect &&
        (jack_port_by_id(queues.client, a) == ours || jack_port_by_id(queues.client, b) == ours))
        queues.connected = true;
}

}  // namespace platform
