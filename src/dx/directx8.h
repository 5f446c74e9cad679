// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/truth.h"
#include "platform/keys/keys.h"
#include "platform/sound/sound.h"

// The DirectX 8 objects the module is written against: the same objects and operations, each a
// thin check of its arguments in front of a device of platform/ (sound, WAV files, key sources).
namespace dx {

using core::WindowHandle;
using platform::KeyboardState;
using platform::KeyPresses;
using platform::KeySource;
using platform::SoundDevice;
using platform::SoundVoice;

constexpr std::int32_t DIFORMAT_KEYBOARD = 1;
constexpr std::int32_t DISCL_NONEXCLUSIVE = 2;
constexpr std::int32_t DISCL_BACKGROUND = 8;
constexpr std::int32_t DSSCL_NORMAL = 1;
constexpr std::int32_t DSBCAPS_STATIC = 0x02;
constexpr std::int32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr std::int32_t DSBCAPS_CTRLPAN = 0x40;
constexpr std::int32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr std::int32_t DSBPLAY_DEFAULT = 0;
constexpr std::int32_t DSBPLAY_LOOPING = 1;
constexpr std::int16_t WAVE_FORMAT_PCM = 1;
inline constexpr std::string_view GUID_SysKeyboard = "GUID_SysKeyboard";

struct WAVEFORMATEX {
    std::int16_t nFormatTag = 0;
    std::int16_t nChannels = 0;
    std::int32_t lSamplesPerSec = 0;
    std::int32_t lAvgBytesPerSec = 0;
    std::int16_t nBlockAlign = 0;
    std::int16_t nBitsPerSample = 0;
    std::int16_t nSize = 0;
    std::int32_t lExtra = 0;
};

struct DSBUFFERDESC {
    std::int32_t lFlags = 0;
    std::int32_t lBufferBytes = 0;
    std::int32_t lReserved = 0;
    WAVEFORMATEX fxFormat;
    std::string guid3DAlgorithm;
};

using platform::KeySources;

// Where sound and key states come from. The program hands in the system's own (see main.cpp);
// tests put in an offline (loopback) sound device and a keyboard they drive.
struct Backends {
    // The default output device; nullptr when there is none.
    std::function<std::unique_ptr<SoundDevice>()> openSoundDevice;
    // The keyboard sources of the session, read as one keyboard.
    std::function<KeySources(WindowHandle)> openKeySources;
    // The record of presses the sources report into, which others may follow as well.
    std::shared_ptr<KeyPresses> keys = std::make_shared<KeyPresses>();
};

// The system keyboard: its sources report into one record of key presses (see
// platform/keys/keys.h for how a key press reaches the note).
class DirectInputDevice8 {
  public:
    DirectInputDevice8(std::function<KeySources(WindowHandle)> open,
                       std::shared_ptr<KeyPresses> record);
    void SetCommonDataFormat(std::int32_t format);
    void SetCooperativeLevel(WindowHandle hWnd, std::int32_t flags);
    // The notification runs on the event loop whenever what the keys read has changed.
    void SetEventNotification(std::function<void()> notify);
    void Acquire();
    // Every key that reads down now: held, or pressed since the last read of it.
    void GetDeviceStateKeyboard(KeyboardState& state);
    // Whether the key was pressed since the last read of it, which ends here.
    bool TakePress(std::uint8_t keyCode) { return presses_->TakePress(keyCode); }

  private:
    std::function<KeySources(WindowHandle)> open_;
    WindowHandle hWnd_ = 0;
    std::shared_ptr<KeyPresses> presses_;
    KeySources sources_;  // after the record, so that they go first
    bool acquired_ = false;
};

class DirectInput8 {
  public:
    DirectInput8(std::function<KeySources(WindowHandle)> open, std::shared_ptr<KeyPresses> record);
    std::shared_ptr<DirectInputDevice8> CreateDevice(std::string_view guid);

  private:
    std::function<KeySources(WindowHandle)> open_;
    std::shared_ptr<KeyPresses> record_;
};

class DirectSoundSecondaryBuffer8 {
  public:
    DirectSoundSecondaryBuffer8(std::shared_ptr<SoundDevice> device,
                                std::unique_ptr<SoundVoice> voice);
    void SetCurrentPosition(std::int32_t position);
    void Play(std::int32_t flags);

  private:
    std::shared_ptr<SoundDevice> device_;  // a buffer keeps its device open, as it did its parent
    std::unique_ptr<SoundVoice> voice_;
};

class DirectSound8 {
  public:
    explicit DirectSound8(std::shared_ptr<SoundDevice> device);
    void SetCooperativeLevel(WindowHandle hWnd, std::int32_t level);
    // Reads the whole file into a new buffer, not playing, at its first sample. The file's own
    // header decides how it sounds. Whatever goes wrong on the way, a file that cannot be used,
    // memory running out or the device refusing the sound (with the device's own words), raises
    // LoadError.
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateSoundBufferFromFile(const std::string& file,
                                                                           DSBUFFERDESC& desc);
    // The device's tick (see SoundDevice::Tick).
    void Tick();

  private:
    std::shared_ptr<SoundDevice> device_;
};

class DirectX8 {
  public:
    explicit DirectX8(Backends backends);
    std::shared_ptr<DirectInput8> DirectInputCreate();
    // "" names the default device; with no device at all this raises a platform failure.
    std::shared_ptr<DirectSound8> DirectSoundCreate(const std::string& device);

  private:
    Backends backends_;
};

}  // namespace dx
