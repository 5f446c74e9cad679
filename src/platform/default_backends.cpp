#include <cstdio>

#include "platform/directx8.h"
#include "platform/evdev_key_source.h"
#include "platform/merged_key_source.h"
#include "platform/openal_sound_device.h"
#include "platform/window_key_source.h"
#include "platform/x11_key_source.h"

namespace platform {

namespace {

// Every source that can be opened, read as one keyboard: evdev sees the physical keyboards even
// under Wayland or on a console; X11 also sees keys that reach the X server by other roads (remote
// desktops, virtual keyboards); the window's own key events always count, since a background
// source may be blind to our own window (a native Wayland window through Xwayland, say).
std::unique_ptr<KeySource> OpenBestKeySource(WindowHandle) {
    std::vector<std::unique_ptr<KeySource>> sources;
    if (auto evdev = EvdevKeySource::Open()) sources.push_back(std::move(evdev));
    if (auto x11 = X11KeySource::Open()) sources.push_back(std::move(x11));
    if (sources.empty())
        std::fputs(
            "Тонариум: no keyboard can be read in the background (no X server, no readable "
            "/dev/input); keys play only while the window has the focus\n",
            stderr);
    sources.push_back(std::make_unique<WindowKeySource>());
    return std::make_unique<MergedKeySource>(std::move(sources));
}

}  // namespace

Backends DefaultBackends() {
    return Backends{
        .openSoundDevice =
            [] { return std::unique_ptr<SoundDevice>(OpenAlSoundDevice::OpenDefault()); },
        .openKeySource = OpenBestKeySource,
    };
}

}  // namespace platform
