#pragma once

#include <cstdint>
#include <memory>
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

// One playable sound on a device: it keeps its place between plays and mixes with every other
// voice of its device. Destroying a voice ends its sound.
class SoundVoice {
  public:
    virtual ~SoundVoice() = default;
    virtual void Rewind() = 0;
    // Starts from the current position; a voice that is already playing goes on playing.
    virtual void Play(bool looping) = 0;
};

// An output device with its own mixer.
class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    virtual std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) = 0;
    // Housekeeping on the program's thread, called on every tick of the key poll: cheap when
    // nothing is due.
    virtual void Service() {}
};

}  // namespace platform
