// SPDX-License-Identifier: MIT
// How a note travels, from whatever plays it to everything that follows it.
//
// 1. Key sources press keys. The computer keyboard's sources (platform/keys/keys.h: X11, evdev,
//    the window's own events), the song player (song_player.h) and an instrument on the MIDI input
//    (midi_keyboard.h) are all key sources: each reports keys going down and coming up, by PC scan
//    code, into the one record of presses, platform::KeyPresses, which knows each source's origin
//    (platform::KeyOrigin: the keyboard, a song, an instrument).
// 2. The record counts. A key held by several sources at once is one press; a press counts as
//    the key goes down in the first of them, a release as it comes up in the last.
// 3. The tick plays. The main window's tick (forms/form1.cpp) reads the record through the
//    keyboard reader (dx/): it lights every key held and plays the sample of every new press. The
//    window knows nothing more of notes.
// 4. Notes follow at once. As a press or a release counts, Notes turns it into one NoteEvent: the
//    key's note, on or off, who played it and when, by the clock it was given. Each listener gets
//    it in turn: the MIDI keyboard sends it out of the MIDI port (midi_keyboard.h), the recording
//    keeps it (recording.h), the song player hears it for practice (song_player.h, practice.h).
// 5. MIDI numbers. MidiVoicing turns a note into MIDI (its number, channel and velocity) and
//    KeyOfPitch a MIDI note number into the key it plays on; nothing else converts.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/instrument.h"
#include "platform/keys/keys.h"

namespace music {

using Clock = std::chrono::steady_clock;
// Where the time comes from: the steady clock, or a test's.
using Now = std::function<Clock::time_point()>;
using platform::KeyOrigin;

struct NoteEvent {
    int note;  // 1..36: 1 is C3
    bool on;
    KeyOrigin from;  // a release is told with its press's origin
    Clock::time_point at;
};

// The notes of the record of presses, as they come.
class Notes {
  public:
    using Listener = std::function<void(const NoteEvent&)>;

    // Follows the record from now on, as its only follower, until it goes.
    Notes(platform::KeyPresses& record, Now now);
    ~Notes() { record_.OnKey(nullptr); }
    Notes(const Notes&) = delete;
    Notes& operator=(const Notes&) = delete;
    // Listeners are told in the order they came.
    void Listen(Listener listener) { listeners_.push_back(std::move(listener)); }

  private:
    platform::KeyPresses& record_;
    Now now_;
    std::vector<Listener> listeners_;
};

// A note as MIDI: note 1 is MIDI note 48, on the channel and at the velocity chosen (--channel,
// --velocity); a note off at the release velocity of keyboards that sense none.
struct MidiVoicing {
    int channel = 1;  // 1..16
    int velocity = 100;

    std::array<std::uint8_t, 3> Note(int note, bool on) const;
    std::array<std::uint8_t, 2> Program(std::uint8_t program) const;
};

constexpr int MidiNumber(int note) {
    return note + 47;
}
// The key a MIDI note number plays on: its note's, moved by whole octaves into C3..B5.
std::uint8_t KeyOfPitch(int pitch);

// General MIDI programs: the piano, and the organ nearest the organ samples (a reed organ).
constexpr std::uint8_t kPianoProgram = 0;
constexpr std::uint8_t kOrganProgram = 20;
constexpr std::uint8_t ProgramOf(core::Instrument instrument) {
    return instrument == core::Instrument::kOrgan ? kOrganProgram : kPianoProgram;
}
// The instrument a program chooses: 0..15 (pianos, chromatic percussion) the piano, 16..23
// (organs) the organ; none for the rest.
constexpr std::optional<core::Instrument> InstrumentOfProgram(int program) {
    if (program >= 0 && program < 16) return core::Instrument::kPiano;
    if (program >= 16 && program < 24) return core::Instrument::kOrgan;
    return std::nullopt;
}

}  // namespace music
