#pragma once

#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/note_map.h"
#include "platform/keys/keys.h"
#include "platform/midi/midi_messages.h"
#include "platform/midi/midi_port.h"
#include "platform/midi/song_file.h"

namespace core {
class LoadError;
}

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
    static constexpr int kNoteNumberOffset = midi::kNoteNumberOffset;

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

namespace platform {

// A song played on the drawn keyboard: a key source of the record of presses (see keys.h) that
// reports each note's key down at the note's start and up at its end, so that the notes sound,
// light and go out over MIDI as pressed keys do. A note outside C3..B5 plays on the key of its
// note moved by whole octaves into them. A note that starts while its key is down from an earlier
// one comes up and goes down again, so that it plays again. The timing runs on the event loop:
// one precise timer for the next change, every time measured from the song's start on the steady
// clock.
class SongPlayer {
  public:
    // Songs are read by the song reader program at that path (see song_file.h).
    explicit SongPlayer(std::string reader);
    ~SongPlayer();
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // The source to hand to the record of presses; one per player. The song's keys come up as
    // the source goes.
    std::unique_ptr<KeySource> Source();
    // Reads the file on a worker thread, then plays it in place of the song playing. A file that
    // cannot be read is told to `failed` on the event loop and changes nothing.
    using Failure = std::function<void(const core::LoadError& error)>;
    void Open(const std::string& path, Failure failed);
    void Play(const Song& song);
    // Lets go of the song's keys; the song ends here.
    void Stop();
    bool Playing() const { return next_ < steps_.size(); }

    // The key a pitch plays on.
    static std::uint8_t KeyOf(int pitch);

  private:
    class Keys;
    struct Step {
        double at;  // seconds from the start
        std::uint8_t key;
        bool down;
    };
    struct Inbox;

    void Advance();
    void LetGo();

    std::string reader_;
    std::optional<KeyReport> report_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::array<int, 256> held_{};  // by key: the song's notes holding it down
    QTimer timer_;
    std::shared_ptr<Inbox> inbox_;
    unsigned opened_ = 0;  // files asked for; only the last one asked for plays
};

// What is played, as MIDI: note on and off with their times, from the first note on, and the
// instrument as program changes, written as a Standard MIDI File (format 0) when Write is called.
// It follows the record of presses, as the MIDI keyboard does.
class Recording {
  public:
    explicit Recording(std::string path);

    void Key(unsigned keyCode, bool down);
    void SetProgram(std::uint8_t program);
    // Writes the file once; the notes still sounding end here. The file is written under a
    // temporary name in its folder and renamed once whole, so that no ending leaves half a file.
    // One line on standard error says where it went, or why it could not go there.
    void Write();

  private:
    using Clock = std::chrono::steady_clock;
    struct Event {
        Clock::time_point at;
        std::array<std::uint8_t, 3> bytes;
        int length;
    };

    std::string path_;
    std::vector<Event> events_;
    std::optional<Clock::time_point> firstNote_;
    std::array<bool, core::kNoteCount + 1> sounding_{};  // by note
    bool written_ = false;
};

}  // namespace platform
