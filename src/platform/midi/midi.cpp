// SPDX-License-Identifier: MIT
#include "platform/midi/midi.h"

#include "platform/midi/alsa_midi_port.h"
#include "platform/midi/jack_midi_port.h"

namespace platform {

std::unique_ptr<MidiPort> OpenMidiPort(MidiBackend& backend, MidiConnect connect,
                                       std::string& failure) {
    std::string jack, alsa;
    std::unique_ptr<MidiPort> port;
    if (backend != MidiBackend::kAlsa &&
        (port = JackMidiPort::Open(kMidiPortName, connect, &jack))) {
        backend = MidiBackend::kJack;
    } else if (backend != MidiBackend::kJack &&
               (port = AlsaMidiPort::Open(kMidiPortName, connect, &alsa))) {
        backend = MidiBackend::kAlsa;
    }
    failure = jack.empty() || alsa.empty() ? jack + alsa : jack + " and " + alsa;
    return port;
}

}  // namespace platform
