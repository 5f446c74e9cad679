// SPDX-License-Identifier: MIT
#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/note_map.h"
#include "music/notes.h"
#include "platform/midi/midi.h"

namespace music {

// The program as a MIDI keyboard, both ways through the MIDI port.
//
// Out: the notes played, note on as a note starts, note off as it ends, and the instrument as a
// General MIDI program change (again whenever the port opens, and to whatever is connected to it
// later). The notes an instrument played in are not sent back out, lest a synth that echoes its
// input play them round and round. No note is left sounding: the notes are let go when the
// keyboard object goes and at LetGo; a port whose server went away takes its notes with it.
//
// In: an instrument on the input port is a key source of the record of presses (origin
// kInstrument): a note on, on any channel, presses the key of its note (moved by whole octaves
// into C3..B5 as songs' notes are), a note off or a note on at velocity 0 lets it go; a program
// change is handed on. Its keys come up when the port is lost and when the source goes.
//
// A lost port, or none at all, is retried about once a second, on the backend it was found on
// first; each change is one line on standard error. Opening may wait for the server without a
// limit, so each try runs on a thread of its own, one at a time, and the event loop takes the
// port once it is open. A keyboard whose first try finds no port also says what to start or
// install, once, in words for the desktop to show.
class MidiKeyboard {
  public:
    using Backend = platform::MidiBackend;
    // Opens a port on the backend given; kAny becomes the backend taken. Without a port, says
    // why in `failure`.
    using Opener =
        std::function<std::unique_ptr<platform::MidiPort>(Backend&, std::string& failure)>;
    // What to start or install when there is no port, for a user who sees no terminal.
    using Notice = std::function<void(const std::string& summary, const std::string& body)>;

    MidiKeyboard(Backend backend, MidiVoicing voicing, Notice noPort, Opener open);
    ~MidiKeyboard();
    MidiKeyboard(const MidiKeyboard&) = delete;
    MidiKeyboard& operator=(const MidiKeyboard&) = delete;

    void Play(const NoteEvent& note);
    // The instrument on the input, to hand to the record of presses; one per keyboard.
    std::unique_ptr<platform::KeySource> Source();
    // Runs as a program change comes in.
    void OnProgram(std::function<void(std::uint8_t program)> handler) {
        programIn_ = std::move(handler);
    }
    // Sent now, again whenever the port opens, and to what is connected to it later.
    void SetProgram(std::uint8_t program);
    // Note offs for the notes sounding, then a wait of at most 200 ms for them to leave the
    // program: for an ending that skips the destructor, which does the same.
    void LetGo();

  private:
    struct Opening;
    // Starts a try on a thread of its own, unless one is under way.
    void Open();
    // On the event loop, once a try has ended.
    void Opened(std::unique_ptr<platform::MidiPort> port, Backend backend,
                const std::string& failure);
    void PollPort();
    void SendNote(int note, bool on);
    void SendProgram();
    // On the event loop, while the input has messages.
    void Receive();
    void LetGoOfInput();

    Backend backend_;
    MidiVoicing voicing_;
    Opener open_;
    Notice noPort_;
    bool tried_ = false;                // a try has ended
    std::shared_ptr<Opening> opening_;  // the try under way
    std::unique_ptr<platform::MidiPort> port_;
    std::uint8_t program_ = kPianoProgram;
    std::array<bool, core::kNoteCount + 1> sounding_{};  // by note: sent on, not yet off
    QTimer retry_;
    // The input: its notifier, the instrument's reporter, its notes on by pitch and the notes
    // holding each key down.
    std::unique_ptr<QSocketNotifier> input_;
    std::optional<platform::KeyReport> report_;
    std::array<bool, 128> pitchesOn_{};
    std::array<int, 256> held_{};
    std::function<void(std::uint8_t program)> programIn_;
};

}  // namespace music
