// SPDX-License-Identifier: MIT
// The program's MIDI port, on JACK or the ALSA sequencer: what synthesizers and DAWs connect to.
// Nothing here knows what the messages mean; the numbers they are made of are in
// midi_messages.h, and what the program plays through the port is music/midi_keyboard.h.
#pragma once

#include <memory>
#include <string>

#include "platform/midi/midi_port.h"

namespace platform {

enum class MidiBackend { kAny, kJack, kAlsa };

// Opens the port «Тонариум», an output and an input beside it, on JACK when a JACK server
// answers, else on the ALSA sequencer, or on the backend given only; kAny becomes the backend
// taken. nullptr when neither can be had, with what each said in `failure`. May wait for a server
// without a limit (a stopped JACK server answers nothing): not for the event loop.
std::unique_ptr<MidiPort> OpenMidiPort(MidiBackend& backend, MidiConnect connect,
                                       std::string& failure);

// The name of the port and of its client, which users see in their patchbay.
inline constexpr const char* kMidiPortName = "Тонариум";

}  // namespace platform
