// SPDX-License-Identifier: MIT
#include "platform/keys/evdev_key_source.h"
#include "platform/keys/keys.h"
#include "platform/keys/window_key_source.h"
#include "platform/keys/x11_key_source.h"
#include "platform/messages.h"

namespace platform {

KeySources OpenKeySources(std::string_view qtPlatform) {
    KeySources sources;
    bool window = false;  // whether our own window's key events are needed too
    if (qtPlatform == "xcb") {
        if (auto x11 = X11KeySource::Open()) sources.push_back(std::move(x11));
    } else if (auto evdev = EvdevKeySource::Open()) {
        sources.push_back(std::move(evdev));
    } else if (qtPlatform.starts_with("wayland")) {
        // XWayland sees the keys of X11 programs only, our window only its own: no key reaches
        // both.
        if (auto x11 = X11KeySource::Open()) sources.push_back(std::move(x11));
        window = true;
    }
    if (sources.empty()) {
        Say("no keyboard can be read in the background (no X server, no readable /dev/input); "
            "keys play only while the window has the focus");
        window = true;
    }
    if (window) sources.push_back(std::make_unique<WindowKeySource>());
    return sources;
}

}  // namespace platform
