#pragma once

#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "dx/highlight_pictures.h"
#include "platform/directx8.h"
#include "platform/openal_sound_device.h"
#include "platform/run_time_error.h"

namespace testing_support {

// A keyboard the test presses: the module owns the source, the test keeps the keys.
struct FakeKeyboard {
    platform::KeyboardState keys{};
    bool failing = false;
    int snapshots = 0;

    void Press(int code) { keys[code] = platform::kKeyDown; }
    void Release(int code) { keys[code] = 0; }

    std::unique_ptr<platform::KeySource> OpenSource() {
        struct Source : platform::KeySource {
            FakeKeyboard& keyboard;
            explicit Source(FakeKeyboard& k) : keyboard(k) {}
            bool Snapshot(platform::KeyboardState& state) override {
                ++keyboard.snapshots;
                if (keyboard.failing) return false;
                state = keyboard.keys;
                return true;
            }
            const char* Name() const override { return "test"; }
        };
        return std::make_unique<Source>(*this);
    }
};

// The highlight pictures as a set of shown indexes, bounds-checked like the control array.
struct RecordingHighlights : dx::HighlightPictures {
    std::vector<int> shown;
    void ShowImage1(int index) override {
        if (index < 1 || index > 36) throw platform::SubscriptOutOfRange();
        shown.push_back(index);
    }
};

// Backends on an offline OpenAL device the test renders, and a test keyboard. The device is
// opened when the module asks for it; `device` points at it from then on.
struct LoopbackBackends {
    static constexpr int kRate = 48000;
    FakeKeyboard keyboard;
    platform::OpenAlSoundDevice* device = nullptr;
    bool haveSoundDevice = true;

    platform::Backends Make() {
        return platform::Backends{
            .openSoundDevice = [this]() -> std::unique_ptr<platform::SoundDevice> {
                if (!haveSoundDevice) return nullptr;
                auto opened = platform::OpenAlSoundDevice::OpenLoopback(kRate);
                device = opened.get();
                return opened;
            },
            .openKeySource = [this](platform::WindowHandle) { return keyboard.OpenSource(); },
        };
    }
};

}  // namespace testing_support
