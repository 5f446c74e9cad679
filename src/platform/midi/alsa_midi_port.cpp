// SPDX-License-Identifier: MIT
#include "platform/midi/alsa_midi_port.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// The kernel's loopback client, which would echo what others send it into the input.
constexpr const char* kMidiThrough = "Midi Through";

}  // namespace

std::unique_ptr<AlsaMidiPort> AlsaMidiPort::Open(const std::string& name, MidiConnect connect,
                                                 std::string* failure) {
    snd_seq_t* sequencer = nullptr;
    if (const int error =
            snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
        error < 0) {
        if (failure)
            *failure = std::string("the ALSA sequencer cannot be opened: ") + snd_strerror(error);
        return nullptr;
    }
    snd_seq_set_client_name(sequencer, name.c_str());
    constexpr unsigned kType = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
    const int output = snd_seq_create_simple_port(
        sequencer, name.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, kType);
    const int input =
        snd_seq_create_simple_port(sequencer, (name + " " + kMidiInputName).c_str(),
                                   SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, kType);
    pollfd poll{};
    snd_midi_event_t* codec = nullptr;
    if (output < 0 || input < 0 || snd_seq_poll_descriptors(sequencer, &poll, 1, POLLIN) != 1 ||
        snd_midi_event_new(16, &codec) < 0) {
        snd_seq_close(sequencer);
        if (failure) *failure = "the ALSA sequencer did not take the ports";
        return nullptr;
    }
    snd_midi_event_no_status(codec, 1);  // each message decoded whole, with its status byte
    std::unique_ptr<AlsaMidiPort> port(new AlsaMidiPort(sequencer, output, input, codec, poll.fd));
    if (connect == MidiConnect::kDevices) port->ConnectDevices();
    return port;
}

AlsaMidiPort::~AlsaMidiPort() {
    snd_midi_event_free(codec_);
    snd_seq_close(sequencer_);
}

void AlsaMidiPort::Send(std::span<const std::uint8_t> message) {
    if (lost_) return;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_midi_event_reset_encode(codec_);
    if (snd_midi_event_encode(codec_, message.data(), static_cast<long>(message.size()), &event) <=
            0 ||
        event.type == SND_SEQ_EVENT_NONE)
        return;
    snd_seq_ev_set_source(&event, output_);
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
    if (lost_ || snd_seq_get_port_info(sequencer_, output_, info) < 0) return false;
    const int subscribers = snd_seq_port_info_get_read_use(info);
    const bool more = subscribers > subscribers_;
    subscribers_ = subscribers;
    return more;
}

// Announcements of ports that come arrive at the input too, and are taken here.
bool AlsaMidiPort::Receive(MidiMessage& message) {
    while (!lost_) {
        snd_seq_event_t* event = nullptr;
        const int got = snd_seq_event_input(sequencer_, &event);
        if (got == -ENOSPC) {  // the kernel's queue for us overflowed; what was in it is lost
            ++dropped_;
            continue;
        }
        if (got < 0 || !event) {
            if (got != -EAGAIN) lost_ = true;
            return false;
        }
        if (event->type == SND_SEQ_EVENT_PORT_START) {
            ConnectIfDevice(event->data.addr.client, event->data.addr.port);
            continue;
        }
        snd_midi_event_reset_decode(codec_);
        const long size = snd_midi_event_decode(codec_, message.bytes.data(),
                                                static_cast<long>(message.bytes.size()), event);
        if (size > 0 && IsChannelMessage({message.bytes.data(), static_cast<std::size_t>(size)})) {
            message.size = static_cast<std::uint8_t>(size);
            return true;
        }
    }
    return false;
}

// The devices there now, and from then on each as the system announces its port.
void AlsaMidiPort::ConnectDevices() {
    snd_seq_connect_from(sequencer_, input_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    snd_seq_client_info_t* client;
    snd_seq_client_info_alloca(&client);
    snd_seq_client_info_set_client(client, -1);
    snd_seq_port_info_t* port;
    snd_seq_port_info_alloca(&port);
    while (snd_seq_query_next_client(sequencer_, client) >= 0) {
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(sequencer_, port) >= 0)
            ConnectIfDevice(snd_seq_port_info_get_client(port), snd_seq_port_info_get_port(port));
    }
}

// A hardware port that others may read from (a keyboard's, a MIDI interface's), of a client
// other than ours, the system's and the kernel's loopback.
void AlsaMidiPort::ConnectIfDevice(int client, int port) {
    snd_seq_client_info_t* clientInfo;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_t* portInfo;
    snd_seq_port_info_alloca(&portInfo);
    constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    if (client == SND_SEQ_CLIENT_SYSTEM || client == snd_seq_client_id(sequencer_) ||
        snd_seq_get_any_client_info(sequencer_, client, clientInfo) < 0 ||
        std::strcmp(snd_seq_client_info_get_name(clientInfo), kMidiThrough) == 0 ||
        snd_seq_get_any_port_info(sequencer_, client, port, portInfo) < 0 ||
        !(snd_seq_port_info_get_type(portInfo) & SND_SEQ_PORT_TYPE_HARDWARE) ||
        (snd_seq_port_info_get_capability(portInfo) & kReadable) != kReadable)
        return;
    snd_seq_connect_from(sequencer_, input_, client, port);
}

}  // namespace platform
