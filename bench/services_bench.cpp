// SPDX-License-Identifier: MIT
// Figures for the sound and keyboard services: what a note costs, what reading the keyboard
// costs on every tick, what the device adds to the time until a note is heard, and how fast the
// mixer runs. Prints figures; asserts nothing.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "dx/direct_sound_module.h"
#include "fake_backends.h"
#include "platform/keys/evdev_key_source.h"
#include "platform/keys/x11_key_source.h"
#include "process_stats.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace testing_support;
using bench::ProcessCpuSeconds;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void BenchPlayNote(const TempDir& dir) {
    LoopbackBackends backends;
    RecordingHighlights image1;
    dx::DirectSoundModule module(image1, backends.Make());
    module.InitSound(1);
    module.ResizeBank(36);
    for (int slot = 1; slot <= 36; ++slot) {
        const std::string path = dir.file(std::to_string(slot) + ".wav");
        WriteToneWav(path, ToneSpec{.frequency = 110.0 * slot, .seconds = 2.5});
        module.LoadSample(static_cast<std::int16_t>(slot), path, 22050, 8, 1);
    }
    constexpr int kCalls = 20000;
    const auto start = Clock::now();
    for (int i = 0; i < kCalls; ++i) module.PlayNote(static_cast<std::int16_t>(1 + i % 36));
    std::printf("PlayNote: %.2f us per call\n", Seconds(Clock::now() - start) / kCalls * 1e6);

    // All 36 notes and the loop of slot 0 sounding at once, mixed offline.
    WriteToneWav(dir.file("0.wav"), ToneSpec{.seconds = 0.1, .amplitude = 0});
    module.LoadSample(0, dir.file("0.wav"), 22050, 8, 1);
    module.LoopSlotZero();
    for (std::int16_t slot = 1; slot <= 36; ++slot) module.PlayNote(slot);
    constexpr int kFrames = LoopbackBackends::kRate * 2;
    const auto mixStart = Clock::now();
    for (int done = 0; done < kFrames; done += 240) backends.device->Render(240);
    const double mixSeconds = Seconds(Clock::now() - mixStart);
    std::printf("Mixing 37 voices offline: %.1f x real time (%.1f ms for 2 s)\n", 2.0 / mixSeconds,
                mixSeconds * 1e3);
}

void BenchTicks(platform::KeySource& source, pid_t server) {
    platform::KeyPresses record;
    source.Start(record.NewSource());
    platform::KeyboardState state;
    // One read of a key, as the reader takes it.
    auto read = [&] {
        source.Poll();
        record.Read(state);
    };
    constexpr int kTicks = 2000;
    auto start = Clock::now();
    for (int tick = 0; tick < kTicks; ++tick)
        for (int key = 0; key < 36; ++key) read();
    std::printf("%s: one tick of 36 reads: %.4f ms\n", source.Name(),
                Seconds(Clock::now() - start) / kTicks * 1e3);

    // Ten seconds of ticking at 25 Hz with no key held.
    const double ownBefore = ProcessCpuSeconds(getpid());
    const double serverBefore = server > 0 ? ProcessCpuSeconds(server) : 0;
    start = Clock::now();
    for (int tick = 0; tick < 250; ++tick) {
        for (int key = 0; key < 36; ++key) read();
        std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * (tick + 1)));
    }
    const double wall = Seconds(Clock::now() - start);
    const double own = (ProcessCpuSeconds(getpid()) - ownBefore) / wall * 100;
    const double srv = server > 0 ? (ProcessCpuSeconds(server) - serverBefore) / wall * 100 : 0;
    std::printf(
        "%s: CPU over %.0f s at 25 Hz: program %.2f %%, X server %.2f %%, together %.2f %% "
        "of a core\n",
        source.Name(), wall, own, srv, own + srv);
}

}  // namespace

int main() {
    TempDir dir;
    BenchPlayNote(dir);

    Xvfb xvfb;
    if (xvfb.running()) {
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        if (auto x11 = platform::X11KeySource::Open()) BenchTicks(*x11, xvfb.pid());
    } else {
        std::printf("x11: Xvfb is not installed\n");
    }
    if (auto evdev = platform::EvdevKeySource::Open())
        BenchTicks(*evdev, -1);
    else
        std::printf("evdev: no readable keyboard in /dev/input\n");
}
