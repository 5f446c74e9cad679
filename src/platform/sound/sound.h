// SPDX-License-Identifier: MIT
// The program's sound: sample files read whole, one mixer for the program's life, and the
// outputs that play the mix, which come and go beneath it.
//
// OpenAL Soft mixes, on a loopback device that renders only when asked. The program's own
// outputs ask it: a PipeWire stream, a PulseAudio stream, an ALSA PCM. A sound thread of the
// device's own opens them, watches them, moves to a better one when it answers and lets the
// mixer sleep in silence; the event loop only starts voices. See platform/threads.h for who runs
// what.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A whole sound held in memory: interleaved integer PCM, 8-bit unsigned or 16-bit signed.
struct PcmSound {
    int channels = 1;
    int sampleRate = 22050;
    int bitsPerSample = 8;
    std::vector<std::uint8_t> bytes;

    std::size_t frames() const { return bytes.size() / (channels * bitsPerSample / 8); }
};

// Longest sound a sample file may hold; anything longer is refused rather than read into memory.
constexpr int kMaxSampleSeconds = 10 * 60;

// Reads a whole WAV file as its own header describes it (any integer or float PCM layout, mono or
// stereo, any rate). 8-bit files stay 8-bit; everything else becomes 16-bit. A file that cannot
// be used raises core::LoadError with its path and the reason.
PcmSound ReadWavFile(const std::string& path);

// One playable sound in the mixer, which holds the only copy of it. It keeps its place between
// plays and mixes with every other voice. Destroying a voice ends its sound.
class SoundVoice {
  public:
    virtual ~SoundVoice() = default;
    virtual void Rewind() = 0;
    // Starts from the current position; a voice that is already playing goes on playing.
    virtual void Play(bool looping) = 0;
};

// Voices on a mixer, and what plays it.
class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    // Throws when the mixer cannot hold the sound.
    virtual std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) = 0;
    // On every tick of the key poll: cheap, and never waits. The first one, once the window is up,
    // sets the outputs going.
    virtual void Tick() {}
};

// Once nothing audible has sounded for this long, the output sleeps until the next note: the
// mixer and the server do not wake hundreds of times a second for silence.
constexpr std::chrono::milliseconds kSilenceBeforePause{500};

// The outputs, for `--sound`; any is the best that answers.
enum class SoundOutput { kAny, kPipeWire, kPulse, kAlsa };
const char* OutputName(SoundOutput output);

// The system's sound: its mixer, and the outputs tried in the order PipeWire, PulseAudio, ALSA (or
// only the one asked for). Never waits for a server; without any output it plays nothing and keeps
// trying. nullptr only when OpenAL cannot make a mixer at all.
std::unique_ptr<SoundDevice> OpenSystemSound(SoundOutput output = SoundOutput::kAny);

}  // namespace platform
