#pragma once

#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/note_map.h"
#include "music/notes.h"
#include "platform/midi/midi.h"

namespace music {

// The notes played, out of the MIDI port: note on as a note starts, note off as it ends, and the
// instrument as a General MIDI program change (again whenever the port opens, and to whatever is
// connected to it later). No note is left sounding: the notes are let go when the keyboard
// object goes and at LetGo; a port whose server went away takes its notes with it.
//
// A lost port, or none at all, is retried about once a second, on the backend it was found on
// first; each change is one line on standard error. Opening may wait for the server without a
// limit, so each try runs on a thread of its own, one at a time, and the event loop takes the
// port once it is open. A keyboard whose first try finds no port also says what to start or
// install, once, in words for the desktop to show.
class MidiKeyboard {
  public:
    using Backend = platform::MidiBackend;
    // Opens a port on the backend given; kAny becomes the backend taken.
    using Opener = std::function<std::unique_ptr<platform::MidiPort>(Backend&)>;
    // What to start or install when there is no port, for a user who sees no terminal.
    using Notice = std::function<void(const std::string& summary, const std::string& body)>;

    MidiKeyboard(Backend backend, MidiVoicing voicing, Notice noPort = nullptr,
                 Opener open = &platform::OpenMidiPort);
    ~MidiKeyboard();
    MidiKeyboard(const MidiKeyboard&) = delete;
    MidiKeyboard& operator=(const MidiKeyboard&) = delete;

    void Play(const NoteEvent& note);
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
    void Opened(std::unique_ptr<platform::MidiPort> port, Backend backend);
    void PollPort();
    void SendNote(int note, bool on);
    void SendProgram();

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
};

}  // namespace music
