// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "core/run_time_error.h"
#include "dx/directx8.h"
#include "dx/highlight_pictures.h"
#include "platform/sound/loopback_sound.h"

namespace testing_support {

// A keyboard the test presses: the module owns the source, the test keeps the keys. Presses and
// releases are reported as they happen but not announced, as by a source the reader polls; Tap
// reports a press and its release as one batch and announces it, as a source with events does.
struct FakeKeyboard {
    platform::KeyboardState keys{};
    std::optional<platform::KeyReport> report;  // once the reader has started the source
    int polls = 0;

    void Press(int code) {
        keys[code] = platform::kKeyDown;
        if (report) report->Down(code);
    }
    void Release(int code) {
        keys[code] = 0;
        if (report) report->Up(code);
    }
    void Tap(int code) {
        Press(code);
        Release(code);
        Announce();
    }
    void Announce() {
        if (report) report->Changed();
    }
    // The device goes away and comes back, with the keys still held.
    void LoseDevice() { report->AllUp(); }
    void RegainDevice() {
        for (int code = 0; code < 256; ++code)
            if (keys[code]) report->Down(code);
    }

    std::unique_ptr<platform::KeySource> OpenSource() {
        struct Source : platform::KeySource {
            FakeKeyboard& keyboard;
            explicit Source(FakeKeyboard& k) : keyboard(k) {}
            ~Source() override { keyboard.report.reset(); }
            void Start(platform::KeyReport report) override {
                keyboard.report = report;
                keyboard.RegainDevice();
            }
            void Poll() override { ++keyboard.polls; }
            const char* Name() const override { return "test"; }
        };
        return std::make_unique<Source>(*this);
    }
    dx::KeySources OpenSources() {
        dx::KeySources sources;
        sources.push_back(OpenSource());
        return sources;
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
    platform::LoopbackSound* device = nullptr;
    bool haveSoundDevice = true;

    dx::Backends Make() {
        return dx::Backends{
            .openSoundDevice = [this]() -> std::unique_ptr<platform::SoundDevice> {
                if (!haveSoundDevice) return nullptr;
                auto opened = platform::LoopbackSound::Open(kRate);
                device = opened.get();
                return opened;
            },
            .openKeySources = [this](core::WindowHandle) { return keyboard.OpenSources(); },
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
    // Runs as a voice starts, from within the tick that plays it.
    std::function<void()> beforePlay;

    dx::Backends Make() {
        struct Voice : platform::SoundVoice {
            RecordingBackends& backends;
            std::size_t frames;
            Voice(RecordingBackends& b, std::size_t f) : backends(b), frames(f) {}
            void Rewind() override {}
            void Play(bool looping) override {
                if (backends.beforePlay) backends.beforePlay();
                backends.plays.push_back({frames, looping});
            }
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
            .openKeySources = [this](core::WindowHandle) { return keyboard.OpenSources(); },
        };
    }
};

}  // namespace testing_support
