#pragma once

#include <bitset>

#include "platform/key_source.h"

namespace platform {

// The presses and releases of one batch of key events, as a source takes them in between two
// looks at the keyboard. A key pressed and let go within the batch has to read down while the
// batch is looked at, or a tap shorter than the gap between two looks would never play.
class KeyBatch {
  public:
    void Press(unsigned code) {
        if (code < kCodes) pressed_.set(code);
    }
    void Release(unsigned code) {
        if (code < kCodes) released_.set(code);
    }
    bool Empty() const { return pressed_.none() && released_.none(); }
    // Marks the keys pressed in this batch down in the state, whether or not they are still held.
    void AddPresses(KeyboardState& state) const {
        for (unsigned code = 0; code < kCodes; ++code)
            if (pressed_[code]) state[code] = kKeyDown;
    }
    // Ends the batch. True when a key of it was pressed and let go in it: that key reads up from
    // now on, which the reader has yet to see.
    bool End() {
        const bool tapped = (pressed_ & released_).any();
        pressed_.reset();
        released_.reset();
        return tapped;
    }

  private:
    static constexpr unsigned kCodes = 256;
    std::bitset<kCodes> pressed_;
    std::bitset<kCodes> released_;
};

}  // namespace platform
