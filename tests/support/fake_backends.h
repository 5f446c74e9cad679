#pragma once

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "dx/highlight_pictures.h"
#include "dx/directx8.h"
#include "platform/openal_loopback_device.h"
#include "core/run_time_error.h"

namespace testing_support {

// A keyboard the test presses: the module owns the source, the test keeps the keys. Presses and
// releases are silent, as for a polled source; Tap goes down and up at once and tells the reader
// as a source with a change handler does.
struct FakeKeyboard {
    platform::KeyboardState keys{};
    bool failing = false;
    int snapshots = 0;
    std::function<void()> onChange;

    void Press(int code) { keys[code] = platform::kKeyDown; }
    void Release(int code) { keys[code] = 0; }
    void Tap(int code) {
        Press(code);
        if (onChange) onChange();
        Release(code);
        if (onChange) onChange();
    }

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
            void OnChange(std::function<void()> handler) override {
                keyboard.onChange = std::move(handler);
            }
        };
        return std::make_unique<Source>(*this);
    }
};

// The highlight pictures as a set of shown indexes, bounds-checked like the control array.
struct RecordingHighlights : dx::HighlightPictures {
    std::vector<int> shown;
    void ShowImage1(int index) override {
        if (index < 1 || index > 36) throw core::SubscriptOutOfRange();
        shown.push_back(index);
    }
};

// Backends on an offline OpenAL device the test renders, and a test keyboard. The device is
// opened when the module asks for it; `device` points at it from then on.
struct LoopbackBackends {
    static constexpr int kRate = 48000;
    FakeKeyboard keyboard;
    platform::OpenAlLoopbackDevice* device = nullptr;
    bool haveSoundDevice = true;

    dx::Backends Make() {
        return dx::Backends{
            .openSoundDevice = [this]() -> std::unique_ptr<platform::SoundDevice> {
                if (!haveSoundDevice) return nullptr;
                auto opened = platform::OpenAlLoopbackDevice::Open(kRate);
                device = opened.get();
                return opened;
            },
            .openKeySource = [this](core::WindowHandle) { return keyboard.OpenSource(); },
        };
    }
};

// Backends whose sound device only records what is done with its voices. A voice is named by
// the length of its sound in frames, so tests can tell which file it was made from.
struct RecordingBackends {
    struct Event {
        std::size_t frames;
        bool looping;
    };
    FakeKeyboard keyboard;
    std::vector<Event> plays;         // every Play, in order
    std::vector<std::size_t> voices;  // every voice made, in order
    // Runs before each voice is made; a test throws from it to make the device fail.
    std::function<void(std::size_t frames)> beforeVoice;

    dx::Backends Make() {
        struct Voice : platform::SoundVoice {
            RecordingBackends& backends;
            std::size_t frames;
            Voice(RecordingBackends& b, std::size_t f) : backends(b), frames(f) {}
            void Rewind() override {}
            void Play(bool looping) override { backends.plays.push_back({frames, looping}); }
        };
        struct Device : platform::SoundDevice {
            RecordingBackends& backends;
            explicit Device(RecordingBackends& b) : backends(b) {}
            std::unique_ptr<platform::SoundVoice> CreateVoice(
                const platform::PcmSound& sound) override {
                if (backends.beforeVoice) backends.beforeVoice(sound.frames());
                backends.voices.push_back(sound.frames());
                return std::make_unique<Voice>(backends, sound.frames());
            }
        };
        return dx::Backends{
            .openSoundDevice = [this] { return std::make_unique<Device>(*this); },
            .openKeySource = [this](core::WindowHandle) { return keyboard.OpenSource(); },
        };
    }
};

}  // namespace testing_support
