// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/truth.h"
#include "dx/directx8.h"
#include "dx/highlight_pictures.h"
#include "platform/keys/keys.h"

namespace dx {

// Owns every platform object of the program: the keyboard device with its snapshot and its
// record of presses, and the bank of sound buffers whose slot 0 loops for the whole run. The main
// window holds the one instance; tests make their own with backends they drive.
class DirectSoundModule {
  public:
    using Truth = core::Truth;
    using WindowHandle = core::WindowHandle;

    DirectSoundModule(HighlightPictures& image1, Backends backends);

    // Keyboard reader. The notification, set before InitKeyboard, runs whenever keys change.
    void SetKeyEventNotification(std::function<void()> notify) {
        KeyEventNotification = std::move(notify);
    }
    void InitKeyboard(WindowHandle hWnd);
    void ReleaseKeyboard();
    // Down while held, or when pressed since the last look at it; raises 9 outside 0..255.
    Truth IsKeyDown(std::int16_t keyCode);
    // Shows the highlight of CurrentNote while the key is down; true once for every press.
    Truth KeyJustPressed(std::uint8_t keyCode);

    // Sound bank.
    void InitSound(WindowHandle hWnd);
    void ResizeBank(std::int16_t upperBound);
    void LoadSample(std::int16_t slot, const std::string& file, std::int16_t samplesPerSec,
                    std::int16_t bitsPerSample, std::int16_t channels);
    void ClearBank();
    void PlayNote(std::int16_t slot);
    void LoopSlotZero();
    void ReleaseSound();
    // The sound device's tick, on every tick of the key poll.
    void TickSound();

    // Written by the key poll loop before each KeyJustPressed: the highlight to show.
    std::uint8_t CurrentNote = 0;

    // Block align of a format description: bits ÷ 8 × channels in double precision, rounded to
    // the nearest integer with ties to even; overflow (6) outside 16 bits.
    static std::int16_t BlockAlign(std::int16_t bitsPerSample, std::int16_t channels);

  private:
    using Buffer = std::shared_ptr<DirectSoundSecondaryBuffer8>;

    void EnsureDxRoot();
    Buffer& Slot(std::int16_t slot);

    HighlightPictures& Image1;
    Backends Devices;
    std::function<void()> KeyEventNotification;
    std::shared_ptr<DirectX8> DxRoot;

    std::shared_ptr<DirectInput8> InputObject;
    std::shared_ptr<DirectInputDevice8> KeyboardDevice;
    KeyboardState KeyState{};

    std::shared_ptr<DirectSound8> SoundObject;
    std::vector<Buffer> Sounds;  // bounds 0..n once ResizeBank ran; empty before
};

}  // namespace dx
