// SPDX-License-Identifier: MIT
#include "platform/keys/keys.h"

#include <stdexcept>

namespace platform {

void KeyReport::Down(unsigned code) {
    record_->Down(source_, code);
}

void KeyReport::Up(unsigned code) {
    record_->Up(source_, code);
}

void KeyReport::AllUp() {
    record_->AllUp(source_);
}

void KeyReport::Changed() {
    record_->Changed();
}

KeyReport KeyPresses::NewSource(KeyOrigin origin) {
    if (sources_ == kMaxSources) throw std::length_error("too many key sources");
    origins_[sources_] = origin;
    return KeyReport(*this, sources_++);
}

void KeyPresses::Read(KeyboardState& state) const {
    for (unsigned code = 0; code < kCodes; ++code)
        state[code] = keys_[code].holders != 0 || keys_[code].newPress ? kKeyDown : 0;
}

bool KeyPresses::TakePress(unsigned code) {
    if (code >= kCodes) return false;
    const bool pressed = keys_[code].newPress;
    keys_[code].newPress = false;
    return pressed;
}

void KeyPresses::Down(unsigned source, unsigned code) {
    if (code >= kCodes) return;
    Key& key = keys_[code];
    const std::uint32_t bit = 1u << source;
    if (key.holders & bit) return;  // held already: an auto-repeat, or a resync that agrees
    const bool pressed = key.holders == 0;
    key.holders |= bit;
    if (!pressed) return;  // another source has it down: the same press
    key.newPress = true;
    key.pressedBy = origins_[source];
    dirty_ = true;
    if (key_) key_(code, true, key.pressedBy);
}

void KeyPresses::Up(unsigned source, unsigned code) {
    if (code >= kCodes) return;
    Key& key = keys_[code];
    const std::uint32_t bit = 1u << source;
    if (!(key.holders & bit)) return;
    key.holders &= ~bit;
    if (key.holders != 0) return;
    dirty_ = true;
    if (key_) key_(code, false, key.pressedBy);
}

void KeyPresses::AllUp(unsigned source) {
    for (unsigned code = 0; code < kCodes; ++code) Up(source, code);
}

void KeyPresses::Changed() {
    if (!dirty_) return;
    dirty_ = false;
    if (changed_) changed_();
}

}  // namespace platform
