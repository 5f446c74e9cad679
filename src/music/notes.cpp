// SPDX-License-Identifier: MIT
#include "music/notes.h"

#include "core/note_map.h"
#include "platform/midi/midi_messages.h"

namespace music {

namespace midi = platform::midi;

Notes::Notes(platform::KeyPresses& record, Now now) : record_(record), now_(std::move(now)) {
    record_.OnKey([this](unsigned code, bool down, KeyOrigin from) {
        const int note = core::NoteOfKey(static_cast<int>(code));
        if (note == 0) return;
        const NoteEvent event{note, down, from, now_()};
        for (const Listener& listener : listeners_) listener(event);
    });
}

std::array<std::uint8_t, 3> MidiVoicing::Note(int note, bool on) const {
    return {static_cast<std::uint8_t>((on ? midi::kNoteOn : midi::kNoteOff) | (channel - 1)),
            static_cast<std::uint8_t>(MidiNumber(note)),
            static_cast<std::uint8_t>(on ? velocity : midi::kReleaseVelocity)};
}

std::array<std::uint8_t, 2> MidiVoicing::Program(std::uint8_t program) const {
    return {static_cast<std::uint8_t>(midi::kProgramChange | (channel - 1)), program};
}

std::uint8_t KeyOfPitch(int pitch) {
    int note = pitch - MidiNumber(0);
    if (note < 1) note += (1 - note + 11) / 12 * 12;
    if (note > core::kNoteCount) note -= (note - core::kNoteCount + 11) / 12 * 12;
    return core::NoteMap[note - 1].keyCode;
}

}  // namespace music
