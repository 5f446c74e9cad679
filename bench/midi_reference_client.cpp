// SPDX-License-Identifier: MIT
#include "midi_reference_client.h"

#include <jack/jack.h>
#include <jack/midiport.h>

namespace bench {

MidiReferenceClient::MidiReferenceClient(const testing_support::JackServer& server)
    : client_(testing_support::OpenJackClient(server.name(), "midi-reference")) {
    if (!client_) return;
    port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port_ || jack_set_process_callback(client_, &Process, this) != 0 ||
        jack_activate(client_) != 0)
        port_ = nullptr;
}

MidiReferenceClient::~MidiReferenceClient() {
    if (client_) jack_client_close(client_);
}

std::chrono::steady_clock::time_point MidiReferenceClient::NoteOn(std::uint8_t note) {
    const auto asked = std::chrono::steady_clock::now();
    asked_ = note;
    return asked;
}

int MidiReferenceClient::Process(jack_nframes_t frames, void* self) {
    auto& client = *static_cast<MidiReferenceClient*>(self);
    void* buffer = jack_port_get_buffer(client.port_, frames);
    jack_midi_clear_buffer(buffer);
    if (const int note = client.asked_.exchange(-1); note >= 0) {
        const jack_midi_data_t noteOn[] = {kNoteOn, static_cast<jack_midi_data_t>(note), 100};
        jack_midi_event_write(buffer, 0, noteOn, sizeof noteOn);
    }
    return 0;
}

}  // namespace bench
