#include "platform/openal_sound_device.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <stdexcept>
#include <string>

namespace platform {

namespace {

// OpenAL pans a centred mono source at about -4.5 dB per channel; the platform we stand in for
// played mono at full level on both. This gain puts it back.
constexpr float kMonoCentreGain = 1.6788f;  // +4.5 dB

// The context attributes of every device: no effect sends (each costs mixing state in all of
// OpenAL's voices) and the output limiter on. The number of voices comes from alsoft.conf.
std::vector<ALCint> ContextAttributes(std::initializer_list<ALCint> deviceFormat = {}) {
    std::vector<ALCint> attributes(deviceFormat);
    attributes.insert(attributes.end(),
                      {ALC_MAX_AUXILIARY_SENDS, 0, ALC_OUTPUT_LIMITER_SOFT, ALC_TRUE, 0});
    return attributes;
}

template <typename Function>
Function AlcExtension(ALCdevice* device, const char* name) {
    return reinterpret_cast<Function>(alcGetProcAddress(device, name));
}

bool IsSilent(const PcmSound& sound) {
    const std::uint8_t zero = sound.bitsPerSample == 8 ? 0x80 : 0x00;
    return std::all_of(sound.bytes.begin(), sound.bytes.end(),
                       [zero](std::uint8_t byte) { return byte == zero; });
}

ALenum AlFormat(const PcmSound& sound) {
    if (sound.channels == 1) return sound.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return sound.bitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

}  // namespace

class OpenAlVoice : public SoundVoice {
  public:
    OpenAlVoice(OpenAlSoundDevice& device, const PcmSound& sound)
        : device_(device), silent_(IsSilent(sound)) {
        device_.MakeCurrent();
        alGetError();
        alGenBuffers(1, &buffer_);
        alBufferData(buffer_, AlFormat(sound), sound.bytes.data(),
                     static_cast<ALsizei>(sound.bytes.size()), sound.sampleRate);
        alGenSources(1, &source_);
        alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
        if (sound.channels == 1) {
            alSourcef(source_, AL_MAX_GAIN, kMonoCentreGain);
            alSourcef(source_, AL_GAIN, kMonoCentreGain);
        }
        alSourcei(source_, AL_BUFFER, static_cast<ALint>(buffer_));
        if (alGetError() != AL_NO_ERROR) {
            Release();
            throw std::runtime_error("OpenAL could not hold the sound");
        }
        device_.voices_.push_back(this);
    }
    ~OpenAlVoice() override {
        Release();
        std::erase(device_.voices_, this);
    }

    void Rewind() override {
        device_.MakeCurrent();
        // Playing a playing source starts it over, which is what a rewind while sounding means.
        if (Playing())
            alSourcePlay(source_);
        else
            alSourceRewind(source_);
    }

    void Play(bool looping) override {
        device_.MakeCurrent();
        device_.Wake();
        alSourcei(source_, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
        if (!Playing()) alSourcePlay(source_);
    }

    bool Audible() const { return !silent_ && Playing(); }

  private:
    bool Playing() const {
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    }

    void Release() {
        device_.MakeCurrent();
        if (source_) {
            alSourceStop(source_);
            alDeleteSources(1, &source_);
        }
        if (buffer_) alDeleteBuffers(1, &buffer_);
        source_ = buffer_ = 0;
    }

    OpenAlSoundDevice& device_;
    const bool silent_;
    ALuint buffer_ = 0;
    ALuint source_ = 0;
};

OpenAlSoundDevice::OpenAlSoundDevice(ALCdevice* device, ALCcontext* context, bool loopback)
    : device_(device), context_(context), loopback_(loopback) {}

std::unique_ptr<OpenAlSoundDevice> OpenAlSoundDevice::WithContext(
    ALCdevice* device, const std::vector<ALCint>& attributes, bool loopback) {
    if (!device) return nullptr;
    ALCcontext* context = alcCreateContext(device, attributes.data());
    if (!context) {
        alcCloseDevice(device);
        return nullptr;
    }
    return std::unique_ptr<OpenAlSoundDevice>(new OpenAlSoundDevice(device, context, loopback));
}

std::unique_ptr<OpenAlSoundDevice> OpenAlSoundDevice::OpenDefault(
    std::chrono::milliseconds silenceBeforePause) {
    auto device = WithContext(alcOpenDevice(nullptr), ContextAttributes(), false);
    if (device) device->PauseWhenSilentFor(silenceBeforePause);
    return device;
}

std::unique_ptr<OpenAlSoundDevice> OpenAlSoundDevice::OpenLoopback(int sampleRate) {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return nullptr;
    auto openLoopback =
        AlcExtension<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "alcLoopbackOpenDeviceSOFT");
    return WithContext(
        openLoopback(nullptr),
        ContextAttributes({ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
                           ALC_FLOAT_SOFT, ALC_FREQUENCY, sampleRate, ALC_HRTF_SOFT, ALC_FALSE}),
        true);
}

void OpenAlSoundDevice::PauseWhenSilentFor(std::chrono::milliseconds silence) {
    // OpenAL 1.19's wave writer goes on writing at the header after a pause.
    const std::string name = alcGetString(device_, ALC_DEVICE_SPECIFIER);
    if (!QCoreApplication::instance() || !alcIsExtensionPresent(device_, "ALC_SOFT_pause_device") ||
        name == "Wave File Writer")
        return;
    silenceTimer_ = std::make_unique<QTimer>();
    silenceTimer_->setSingleShot(true);
    silenceTimer_->setInterval(silence);
    QObject::connect(silenceTimer_.get(), &QTimer::timeout, [this] { PauseUnlessAudible(); });
    silenceTimer_->start();
}

void OpenAlSoundDevice::Wake() {
    if (!silenceTimer_) return;
    if (paused_) {
        static const auto resume =
            AlcExtension<LPALCDEVICERESUMESOFT>(device_, "alcDeviceResumeSOFT");
        resume(device_);
        paused_ = false;
    }
    silenceTimer_->start();
}

void OpenAlSoundDevice::PauseUnlessAudible() {
    MakeCurrent();
    if (std::any_of(voices_.begin(), voices_.end(),
                    [](const OpenAlVoice* voice) { return voice->Audible(); })) {
        silenceTimer_->start();
        return;
    }
    static const auto pause = AlcExtension<LPALCDEVICEPAUSESOFT>(device_, "alcDevicePauseSOFT");
    pause(device_);
    paused_ = true;
}

OpenAlSoundDevice::~OpenAlSoundDevice() {
    if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    alcCloseDevice(device_);
}

void OpenAlSoundDevice::MakeCurrent() const {
    if (alcGetCurrentContext() != context_) alcMakeContextCurrent(context_);
}

std::unique_ptr<SoundVoice> OpenAlSoundDevice::CreateVoice(const PcmSound& sound) {
    return std::make_unique<OpenAlVoice>(*this, sound);
}

std::vector<float> OpenAlSoundDevice::Render(int frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    if (!loopback_) return samples;
    static const auto render =
        AlcExtension<LPALCRENDERSAMPLESSOFT>(device_, "alcRenderSamplesSOFT");
    render(device_, samples.data(), frames);
    return samples;
}

std::array<std::int64_t, 2> OpenAlSoundDevice::ClockAndLatency() {
    if (!alcIsExtensionPresent(device_, "ALC_SOFT_device_clock")) return {-1, -1};
    static const auto get = AlcExtension<LPALCGETINTEGER64VSOFT>(device_, "alcGetInteger64vSOFT");
    ALCint64SOFT clockAndLatency[2] = {0, 0};
    get(device_, ALC_DEVICE_CLOCK_LATENCY_SOFT, 2, clockAndLatency);
    return {clockAndLatency[0], clockAndLatency[1]};
}

std::int64_t OpenAlSoundDevice::LatencyNanoseconds() {
    return ClockAndLatency()[1];
}

std::int64_t OpenAlSoundDevice::ClockNanoseconds() {
    return ClockAndLatency()[0];
}

int OpenAlSoundDevice::SampleRate() const {
    ALCint rate = 0;
    alcGetIntegerv(device_, ALC_FREQUENCY, 1, &rate);
    return rate;
}

}  // namespace platform
