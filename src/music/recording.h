// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/note_map.h"
#include "music/notes.h"

namespace music {

// What is played, as MIDI: note on and off with their times, from the first note on, and the
// instrument as program changes, written as a Standard MIDI File (format 0) when Write is called.
class Recording {
  public:
    // Notes go in as `voicing` sends them; the program changes and the end take their time from
    // `now`, the notes bring their own.
    Recording(std::string path, MidiVoicing voicing, Now now);

    void Play(const NoteEvent& note);
    void SetProgram(std::uint8_t program);
    // Writes the file once; the notes still sounding end here. The file is written under a
    // temporary name in its folder and renamed once whole, so that no ending leaves half a file.
    // One line on standard error says where it went, or why it could not go there.
    void Write();

  private:
    struct Event {
        Clock::time_point at;
        std::array<std::uint8_t, 3> bytes;
        int length;
    };
    void Keep(Clock::time_point at, int note, bool on);

    std::string path_;
    MidiVoicing voicing_;
    Now now_;
    std::vector<Event> events_;
    std::optional<Clock::time_point> firstNote_;
    std::array<bool, core::kNoteCount + 1> sounding_{};  // by note
    bool written_ = false;
};

}  // namespace music
