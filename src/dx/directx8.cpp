// SPDX-License-Identifier: MIT
#include "dx/directx8.h"

#include <new>

#include "core/run_time_error.h"
#include "platform/sound/sound.h"

namespace dx {

using core::LoadError;
using core::RunTimeError;
namespace error = core::error;

namespace {
RunTimeError InvalidCall(const std::string& what) {
    return RunTimeError(error::kPlatformFailure, "Неверный вызов: " + what);
}
}  // namespace

DirectInputDevice8::DirectInputDevice8(std::function<KeySources(WindowHandle)> open,
                                       std::shared_ptr<KeyPresses> record)
    : open_(std::move(open)), presses_(std::move(record)) {}

void DirectInputDevice8::SetCommonDataFormat(std::int32_t format) {
    if (format != DIFORMAT_KEYBOARD) throw InvalidCall("SetCommonDataFormat");
}

void DirectInputDevice8::SetCooperativeLevel(WindowHandle hWnd, std::int32_t flags) {
    // Only the mode the reader asks for exists here: shared with other programs, in the background.
    if (flags != (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)) throw InvalidCall("SetCooperativeLevel");
    hWnd_ = hWnd;
}

void DirectInputDevice8::SetEventNotification(std::function<void()> notify) {
    presses_->OnChanged(std::move(notify));
}

void DirectInputDevice8::Acquire() {
    if (acquired_) return;
    acquired_ = true;
    sources_ = open_(hWnd_);
    for (const auto& source : sources_) source->Start(presses_->NewSource(source->Origin()));
}

void DirectInputDevice8::GetDeviceStateKeyboard(KeyboardState& state) {
    for (const auto& source : sources_) source->Poll();
    presses_->Read(state);
}

DirectInput8::DirectInput8(std::function<KeySources(WindowHandle)> open,
                           std::shared_ptr<KeyPresses> record)
    : open_(std::move(open)), record_(std::move(record)) {}

std::shared_ptr<DirectInputDevice8> DirectInput8::CreateDevice(std::string_view guid) {
    if (guid != GUID_SysKeyboard) return nullptr;
    return std::make_shared<DirectInputDevice8>(open_, record_);
}

DirectSoundSecondaryBuffer8::DirectSoundSecondaryBuffer8(std::shared_ptr<SoundDevice> device,
                                                         std::unique_ptr<SoundVoice> voice)
    : device_(std::move(device)), voice_(std::move(voice)) {}

void DirectSoundSecondaryBuffer8::SetCurrentPosition(std::int32_t position) {
    if (position != 0) throw InvalidCall("SetCurrentPosition");
    voice_->Rewind();
}

void DirectSoundSecondaryBuffer8::Play(std::int32_t flags) {
    voice_->Play((flags & DSBPLAY_LOOPING) != 0);
}

DirectSound8::DirectSound8(std::shared_ptr<SoundDevice> device) : device_(std::move(device)) {}

void DirectSound8::SetCooperativeLevel(WindowHandle, std::int32_t level) {
    if (level != DSSCL_NORMAL) throw InvalidCall("SetCooperativeLevel");
}

std::shared_ptr<DirectSoundSecondaryBuffer8> DirectSound8::CreateSoundBufferFromFile(
    const std::string& file, DSBUFFERDESC&) {
    try {
        const platform::PcmSound sound = platform::ReadWavFile(file);
        return std::make_shared<DirectSoundSecondaryBuffer8>(device_, device_->CreateVoice(sound));
    } catch (const LoadError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw LoadError(file, "недостаточно памяти");
    } catch (const std::exception& refused) {
        throw LoadError(
            file, std::string("звуковое устройство не приняло звук (") + refused.what() + ")");
    }
}

void DirectSound8::Tick() {
    device_->Tick();
}

DirectX8::DirectX8(Backends backends) : backends_(std::move(backends)) {}

std::shared_ptr<DirectInput8> DirectX8::DirectInputCreate() {
    return std::make_shared<DirectInput8>(backends_.openKeySources, backends_.keys);
}

std::shared_ptr<DirectSound8> DirectX8::DirectSoundCreate(const std::string& device) {
    std::unique_ptr<SoundDevice> opened;
    if (device.empty() && backends_.openSoundDevice) opened = backends_.openSoundDevice();
    if (!opened) throw RunTimeError(error::kPlatformFailure, "Звуковое устройство не найдено");
    return std::make_shared<DirectSound8>(std::move(opened));
}

}  // namespace dx
