#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// One byte per key code (PC scan code); 0 is up, 0x80 is down.
using KeyboardState = std::array<std::uint8_t, 256>;
constexpr std::uint8_t kKeyDown = 0x80;

// Where key states come from: a snapshot of the whole keyboard, taken without grabbing it, so
// other programs keep their keys. Implementations never store or log keystrokes beyond the
// current up/down state.
class KeySource {
  public:
    virtual ~KeySource() = default;
    // Fills state with the keys down now. False when the source failed for this call; the state
    // then reads all up and the source tries to recover on a later call.
    virtual bool Snapshot(KeyboardState& state) = 0;
    // A short name for messages and benchmarks ("evdev", "x11", "window").
    virtual const char* Name() const = 0;
    // The handler runs on the program's event loop after the source has taken in a change of
    // keys, so the reader can look at once instead of at its next poll. A key pressed and let go
    // within one batch of events reads down until the handler has returned, then up; the handler
    // runs again for the release. Sources that cannot tell never call it.
    virtual void OnChange(std::function<void()> handler) { (void)handler; }
};

}  // namespace platform
