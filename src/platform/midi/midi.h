#pragma once

#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/note_map.h"
#include "platform/midi/midi_port.h"

namespace platform {

// The keys as a MIDI keyboard: note on as a key goes down, note off as it comes up, on one
// channel at one velocity, and the instrument as a General MIDI program change. Each key follows
// the record of presses (see platform/keys/keys.h), so a press that several key sources see is one
// note, and a held key is one note on, as it is one sample. No note is left sounding: the notes
// are let go as the keys come up, as the keyboard goes away (its keys come up), when the keyboard
// object goes and at LetGo; a port whose server went away takes its notes with it.
//
// The port lives on JACK when a JACK server answers, else on the ALSA sequencer, unless the
// settings choose the backend. A lost port, or none at all, is retried about once a second, on
// the backend it was found on first; each change is one line on standard error. Opening may wait
// for the server without a limit (a stopped JACK server answers nothing), so each try runs on a
// thread of its own, one at a time, and the event loop takes the port once it is open. A
// keyboard whose first try finds no port also says what to start or install, once, in words for
// the desktop to show.
class MidiKeyboard {
  public:
    enum class Backend { kAny, kJack, kAlsa };
    struct Settings {
        Backend backend = Backend::kAny;
        int channel = 1;  // 1..16
        int velocity = 100;
    };
    // General MIDI programs: the piano, and the organ nearest the organ samples (a reed organ).
    static constexpr std::uint8_t kPiano = 0;
    static constexpr std::uint8_t kReedOrgan = 20;
    // Note 1 is C3.
    static constexpr int kNoteNumberOffset = 47;

    // Opens a port on the backend given; kAny becomes the backend taken.
    using Opener = std::function<std::unique_ptr<MidiPort>(Backend&)>;
    // The system's ports, named «Тонариум»: JACK, or the ALSA sequencer.
    static std::unique_ptr<MidiPort> OpenSystemPort(Backend& backend);

    // What to start or install when there is no port, for a user who sees no terminal.
    using Notice = std::function<void(const std::string& summary, const std::string& body)>;

    explicit MidiKeyboard(Settings settings, Notice noPort = nullptr,
                          Opener open = &OpenSystemPort);
    // Whether a port is open now.
    bool HasPort() const { return port_ != nullptr; }
    ~MidiKeyboard();
    MidiKeyboard(const MidiKeyboard&) = delete;
    MidiKeyboard& operator=(const MidiKeyboard&) = delete;

    // A key by scan code: down as its press counts, up as it comes up; keys without a note are
    // passed over.
    void Key(unsigned keyCode, bool down);
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
    void Opened(std::unique_ptr<MidiPort> port, Backend backend);
    void PollPort();
    void Send(std::initializer_list<std::uint8_t> message);

    Settings settings_;
    Opener open_;
    Notice noPort_;
    bool tried_ = false;                // a try has ended
    std::shared_ptr<Opening> opening_;  // the try under way
    std::unique_ptr<MidiPort> port_;
    std::uint8_t program_ = kPiano;
    std::array<bool, core::kNoteCount + 1> sounding_{};  // by note
    QTimer retry_;
};

}  // namespace platform
