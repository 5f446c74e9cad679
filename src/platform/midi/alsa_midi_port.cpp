#include "platform/midi/alsa_midi_port.h"

#include <alsa/asoundlib.h>

#include <cerrno>

namespace platform {

std::unique_ptr<AlsaMidiPort> AlsaMidiPort::Open(const std::string& name) {
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return nullptr;
    snd_seq_set_client_name(sequencer, name.c_str());
    const int port = snd_seq_create_simple_port(
        sequencer, name.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_midi_event_t* encoder = nullptr;
    if (port < 0 || snd_midi_event_new(16, &encoder) < 0) {
        snd_seq_close(sequencer);
        return nullptr;
    }
    return std::unique_ptr<AlsaMidiPort>(new AlsaMidiPort(sequencer, port, encoder));
}

AlsaMidiPort::~AlsaMidiPort() {
    snd_midi_event_free(encoder_);
    snd_seq_close(sequencer_);
}

void AlsaMidiPort::Send(std::span<const std::uint8_t> message) {
    if (lost_) return;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_midi_event_reset_encode(encoder_);
    if (snd_midi_event_encode(encoder_, message.data(), static_cast<long>(message.size()),
                              &event) <= 0 ||
        event.type == SND_SEQ_EVENT_NONE)
        return;
    snd_seq_ev_set_source(&event, port_);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    // A subscriber whose input is full loses the message itself (-EAGAIN, -ENOMEM); opening the
    // port again would not help it and would cut every subscription.
    const int sent = snd_seq_event_output_direct(sequencer_, &event);
    if (sent < 0 && sent != -EAGAIN && sent != -ENOMEM) lost_ = true;
}

// The sequencer tells a client nothing when its port is subscribed to unless it reads the
// announcements; the count of the port's readers, read now, grows with each new one.
bool AlsaMidiPort::TakeNewConnection() {
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    if (lost_ || snd_seq_get_port_info(sequencer_, port_, info) < 0) return false;
    const int subscribers = snd_seq_port_info_get_read_use(info);
    const bool more = subscribers > subscribers_;
    subscribers_ = subscribers;
    return more;
}

}  // namespace platform
