// SPDX-License-Identifier: MIT
#include "dx/direct_sound_module.h"

#include <cmath>
#include <limits>

#include "core/run_time_error.h"

namespace dx {

using core::kFalse;
using core::kTrue;

DirectSoundModule::DirectSoundModule(HighlightPictures& image1, Backends backends)
    : Image1(image1), Devices(std::move(backends)) {}

void DirectSoundModule::EnsureDxRoot() {
    if (!DxRoot) DxRoot = std::make_shared<DirectX8>(Devices);
}

// --- Keyboard reader -------------------------------------------------------------------------

void DirectSoundModule::InitKeyboard(WindowHandle hWnd) {
    EnsureDxRoot();
    InputObject = DxRoot->DirectInputCreate();
    if (!InputObject) return;
    KeyboardDevice = InputObject->CreateDevice(GUID_SysKeyboard);
    if (!KeyboardDevice) return;
    KeyboardDevice->SetCommonDataFormat(DIFORMAT_KEYBOARD);
    KeyboardDevice->SetCooperativeLevel(hWnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    if (KeyEventNotification) KeyboardDevice->SetEventNotification(KeyEventNotification);
    KeyboardDevice->Acquire();
}

void DirectSoundModule::ReleaseKeyboard() {
    InputObject.reset();
    KeyboardDevice.reset();
}

DirectSoundModule::Truth DirectSoundModule::IsKeyDown(std::int16_t keyCode) {
    // Without a keyboard device every key reads up.
    if (KeyboardDevice)
        KeyboardDevice->GetDeviceStateKeyboard(KeyState);
    else
        KeyState.fill(0);
    if (keyCode < 0 || keyCode >= static_cast<int>(KeyState.size()))
        throw core::SubscriptOutOfRange();
    return KeyState[keyCode] != 0 ? kTrue : kFalse;
}

DirectSoundModule::Truth DirectSoundModule::KeyJustPressed(std::uint8_t keyCode) {
    const Truth down = IsKeyDown(keyCode);
    if (down != kTrue) return kFalse;
    Image1.ShowImage1(CurrentNote);
    // The device's record latches every press: true once for each press it counted since the
    // last look, however many sources reported it and whenever the looks fell.
    return KeyboardDevice && KeyboardDevice->TakePress(keyCode) ? kTrue : kFalse;
}

// --- Sound bank ------------------------------------------------------------------------------

void DirectSoundModule::InitSound(WindowHandle hWnd) {
    // Every step may fail and is passed over: with no sound device the program goes on silently.
    try {
        EnsureDxRoot();
    } catch (const std::exception&) {
    }
    try {
        if (DxRoot) SoundObject = DxRoot->DirectSoundCreate("");
    } catch (const std::exception&) {
    }
    try {
        if (SoundObject) SoundObject->SetCooperativeLevel(hWnd, DSSCL_NORMAL);
    } catch (const std::exception&) {
    }
}

void DirectSoundModule::ResizeBank(std::int16_t upperBound) {
    if (upperBound < 0) throw core::SubscriptOutOfRange();
    Sounds.resize(static_cast<std::size_t>(upperBound) + 1);
}

std::int16_t DirectSoundModule::BlockAlign(std::int16_t bitsPerSample, std::int16_t channels) {
    const double exact = bitsPerSample / 8.0 * channels;
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(exact);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        throw core::Overflow();
    return static_cast<std::int16_t>(rounded);
}

void DirectSoundModule::LoadSample(std::int16_t slot, const std::string& file,
                                   std::int16_t samplesPerSec, std::int16_t bitsPerSample,
                                   std::int16_t channels) {
    DSBUFFERDESC desc;
    desc.lFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    desc.fxFormat.nFormatTag = WAVE_FORMAT_PCM;
    desc.fxFormat.nChannels = channels;
    desc.fxFormat.lSamplesPerSec = samplesPerSec;
    desc.fxFormat.nBitsPerSample = bitsPerSample;
    desc.fxFormat.nBlockAlign = BlockAlign(bitsPerSample, channels);
    const std::int64_t bytesPerSec =
        static_cast<std::int64_t>(desc.fxFormat.nBlockAlign) * desc.fxFormat.lSamplesPerSec;
    if (bytesPerSec < std::numeric_limits<std::int32_t>::min() ||
        bytesPerSec > std::numeric_limits<std::int32_t>::max())
        throw core::Overflow();
    desc.fxFormat.lAvgBytesPerSec = static_cast<std::int32_t>(bytesPerSec);

    // With no sound object there is nothing to make a buffer with: the slot keeps what it held.
    if (!SoundObject) return;
    Buffer buffer = SoundObject->CreateSoundBufferFromFile(file, desc);
    Slot(slot) = std::move(buffer);
}

void DirectSoundModule::ClearBank() {
    for (std::uint8_t slot = 1; slot <= 36; ++slot) Slot(slot).reset();
}

void DirectSoundModule::PlayNote(std::int16_t slot) {
    // Both lookups test the bounds before any platform call; an empty slot plays nothing.
    if (Buffer& buffer = Slot(slot)) buffer->SetCurrentPosition(0);
    if (Buffer& buffer = Slot(slot)) buffer->Play(DSBPLAY_DEFAULT);
}

void DirectSoundModule::LoopSlotZero() {
    if (Buffer& buffer = Slot(0)) buffer->Play(DSBPLAY_LOOPING);
}

void DirectSoundModule::ReleaseSound() {
    SoundObject.reset();
}

void DirectSoundModule::TickSound() {
    if (SoundObject) SoundObject->Tick();
}

DirectSoundModule::Buffer& DirectSoundModule::Slot(std::int16_t slot) {
    if (slot < 0 || static_cast<std::size_t>(slot) >= Sounds.size())
        throw core::SubscriptOutOfRange();
    return Sounds[static_cast<std::size_t>(slot)];
}

}  // namespace dx
