// The road of a key press, from the keyboard to the note.
//
// 1. Sources report. Each key source (evdev, X11, the window's own key events) takes in what its
//    device tells and reports every change as it takes it in, by PC scan code: Down(code) when a
//    key went down, Up(code) when it came up, AllUp() when it lost its device. A source that knows
//    what is held when it starts or reconnects reports those keys down. At the end of each batch
//    of events it calls Changed(). Sources never store or log keystrokes beyond the keys held now.
// 2. Presses merge. KeyPresses, the one record of every key, keeps whether the key is held and
//    whether a new press came since the reader last looked at it, across all sources. A key is
//    held while any source has it down and up once every source that had it down has let it go.
//    One physical press reaches every source that sees it, each a moment apart, so it counts
//    once: a press counts only when the key was up in every source, and a source's press of a key
//    that another source had down less than kSamePress ago is that same press.
// 3. The tick looks. Changed() tells the reader at once (the main window runs its tick); the tick
//    also runs every 40 ms. At each look a key reads down while it is held or when it was pressed
//    since the last look, so a tap that came and went between two looks lights and plays. The
//    reader plays once for every press counted here since its last look at the key, and never
//    for a key that only reads down again because another source reported the same press late.
//    What comes while no tick runs (during one, or before the timer starts) waits here for the
//    next.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

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

// Where key changes come from, without grabbing the keyboard: other programs keep their keys.
class KeySource {
  public:
    virtual ~KeySource() = default;
    // Starts reporting: the keys held now, then every change as it comes.
    virtual void Start(KeyReport report) = 0;
    // Catches up with what comes without an event (a reconnect, a resync, a device that is only
    // polled); the reader calls it before each look.
    virtual void Poll() {}
    // A short name for messages and benchmarks ("evdev", "x11", "window").
    virtual const char* Name() const = 0;
};

class KeyPresses {
  public:
    using Clock = std::chrono::steady_clock;
    // How long after a key went up another source's press of it is still the same press. Under
    // X11 the window's own key event of a tap came 0.1 to 8 ms after the X11 source had taken in
    // both its press and its release, also with both cores busy; nobody presses one key again
    // sooner than about 65 ms after the last press.
    static constexpr std::chrono::milliseconds kSamePress{40};

    explicit KeyPresses(std::function<Clock::time_point()> now = &Clock::now)
        : now_(std::move(now)) {}

    // A reporter for one more source; at most kMaxSources.
    KeyReport NewSource();
    // Runs after a batch that changed what the reader reads.
    void OnChanged(std::function<void()> handler) { changed_ = std::move(handler); }
    // Runs at once as a press counts (true) and as a key comes up in every source (false), for
    // what follows each key as it moves rather than at looks (MIDI out).
    using KeyHandler = std::function<void(unsigned code, bool down)>;
    void OnKey(KeyHandler handler) { key_ = std::move(handler); }

    bool Held(unsigned code) const { return code < kCodes && keys_[code].holders != 0; }
    // Every key that reads down at a look: held, or pressed since the last look at it.
    void Read(KeyboardState& state) const;
    // Whether a press came since the last look at this key; the look at it ends here.
    bool TakePress(unsigned code);

    static constexpr unsigned kMaxSources = 32;

  private:
    friend class KeyReport;
    struct Key {
        std::uint32_t holders = 0;    // the sources that have it down now, a bit each
        std::uint32_t pressedBy = 0;  // the sources that reported its last counted press
        Clock::time_point upSince;    // when the last source let it go
        bool newPress = false;        // a press the reader has not looked at yet
    };
    static constexpr unsigned kCodes = 256;

    void Down(unsigned source, unsigned code);
    void Up(unsigned source, unsigned code);
    void AllUp(unsigned source);
    void Changed();

    std::function<Clock::time_point()> now_;
    std::function<void()> changed_;
    KeyHandler key_;
    std::array<Key, kCodes> keys_{};
    unsigned sources_ = 0;
    bool dirty_ = false;
};

}  // namespace platform
