// SPDX-License-Identifier: MIT
// The keyboard in the background: how one key press reaches the note.
//
// 1. The session chooses its sources. OpenKeySources opens the sources that read the keyboard in
//    this kind of session, each seeing keys the others do not, so no press reaches two of them.
// 2. A source reports. It takes in what its device tells and reports every change as it takes it
//    in, by PC scan code: Down(code) when a key went down, Up(code) when it came up, AllUp() when
//    it lost its device. A source that knows what is held when it starts or reconnects reports
//    those keys down. At the end of each batch of events it calls Changed(). Sources never store
//    or log keystrokes beyond the keys held now.
// 3. The record counts. KeyPresses keeps, for every key, whether it is held and whether a press
//    came since the reader last read it. A key is held while any source has it down; a press
//    counts when the key goes from held by no source to held by some source.
// 4. The tick reads. Changed() tells the reader at once (the main window runs its tick); the tick
//    also runs every 40 ms. A key reads down while it is held or when it was pressed since the
//    last read, so a tap that came and went between two ticks lights and plays once. What comes
//    while no tick runs waits in the record for the next.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// One byte per key code (PC scan code); 0 is up, 0x80 is down.
using KeyboardState = std::array<std::uint8_t, 256>;
constexpr std::uint8_t kKeyDown = 0x80;

class KeyPresses;

// What one source reports through; the record hands one to each source it starts.
class KeyReport {
  public:
    void Down(unsigned code);
    void Up(unsigned code);
    void AllUp();
    // The end of a batch: tells the reader, when anything it reads has changed.
    void Changed();

  private:
    friend class KeyPresses;
    KeyReport(KeyPresses& record, unsigned source) : record_(&record), source_(source) {}

    KeyPresses* record_;
    unsigned source_;
};

// Who presses a source's keys: the person at the computer keyboard, a song the program plays, or
// an instrument plugged in (a MIDI keyboard).
enum class KeyOrigin : std::uint8_t { kKeyboard, kSong, kInstrument };

// Where key changes come from, without grabbing the keyboard: other programs keep their keys.
class KeySource {
  public:
    virtual ~KeySource() = default;
    virtual KeyOrigin Origin() const { return KeyOrigin::kKeyboard; }
    // Starts reporting: the keys held now, then every change as it comes.
    virtual void Start(KeyReport report) = 0;
    // Catches up with what comes without an event (a reconnect, a resync, a device that is only
    // polled); the reader calls it before each read.
    virtual void Poll() {}
    // A short name for messages and benchmarks ("evdev", "x11", "window").
    virtual const char* Name() const = 0;
};

using KeySources = std::vector<std::unique_ptr<KeySource>>;

// The source of an object that reports keys itself (a song, an instrument): it hands the object
// its reporter as it starts, and has it let go of its keys as it goes.
class ReportingSource : public KeySource {
  public:
    ReportingSource(const char* name, KeyOrigin origin, std::optional<KeyReport>& report,
                    std::function<void()> letGo)
        : name_(name), origin_(origin), report_(report), letGo_(std::move(letGo)) {}
    ~ReportingSource() override {
        letGo_();
        report_.reset();
    }
    void Start(KeyReport report) override { report_ = report; }
    const char* Name() const override { return name_; }
    KeyOrigin Origin() const override { return origin_; }

  private:
    const char* name_;
    KeyOrigin origin_;
    std::optional<KeyReport>& report_;
    std::function<void()> letGo_;
};

// The sources for a session whose Qt platform is `qtPlatform` (QGuiApplication::platformName()):
// - "xcb", an X11 session: the X11 source, which sees every window's keys, ours too;
// - "wayland...": evdev where the keyboards can be read; else the window's own key events and the
//   X11 source, which sees only the keys typed into X11 programs;
// - any other (a console: eglfs, linuxfb, offscreen, ...): evdev.
// Where no source reads the keyboard in the background, the window's own key events, and one line
// on standard error says so.
KeySources OpenKeySources(std::string_view qtPlatform);

// The one record of every key, across the sources.
class KeyPresses {
  public:
    // A reporter for one more source; at most kMaxSources.
    KeyReport NewSource(KeyOrigin origin = KeyOrigin::kKeyboard);
    // Runs after a batch that changed what the reader reads.
    void OnChanged(std::function<void()> handler) { changed_ = std::move(handler); }
    // Runs at once as a press counts (true) and as a key comes up in every source (false), for
    // what follows each key as it moves rather than at ticks; a release is told with the origin
    // of the press it ends.
    using KeyHandler = std::function<void(unsigned code, bool down, KeyOrigin origin)>;
    void OnKey(KeyHandler handler) { key_ = std::move(handler); }

    bool Held(unsigned code) const { return code < kCodes && keys_[code].holders != 0; }
    // Every key that reads down now: held, or pressed since the last read of it.
    void Read(KeyboardState& state) const;
    // Whether a press came since the last read of this key; the read of it ends here.
    bool TakePress(unsigned code);

    static constexpr unsigned kMaxSources = 32;

  private:
    friend class KeyReport;
    struct Key {
        std::uint32_t holders = 0;  // the sources that have it down now, a bit each
        bool newPress = false;      // a press the reader has not read yet
        KeyOrigin pressedBy = KeyOrigin::kKeyboard;
    };
    static constexpr unsigned kCodes = 256;

    void Down(unsigned source, unsigned code);
    void Up(unsigned source, unsigned code);
    void AllUp(unsigned source);
    void Changed();

    std::function<void()> changed_;
    KeyHandler key_;
    std::array<Key, kCodes> keys_{};
    std::array<KeyOrigin, kMaxSources> origins_{};
    unsigned sources_ = 0;
    bool dirty_ = false;
};

}  // namespace platform
