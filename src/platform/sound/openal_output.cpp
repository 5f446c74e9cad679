#include "platform/sound/openal_output.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <vector>

#include "platform/sound/server_stream.h"

namespace platform {

namespace {

// The context attributes of every device: no effect sends (each costs mixing state in all of
// OpenAL's voices) and the output limiter on. The number of voices comes from alsoft.conf.
std::vector<ALCint> ContextAttributes(std::initializer_list<ALCint> deviceFormat = {}) {
    std::vector<ALCint> attributes(deviceFormat);
    attributes.insert(attributes.end(),
                      {ALC_MAX_AUXILIARY_SENDS, 0, ALC_OUTPUT_LIMITER_SOFT, ALC_TRUE, 0});
    return attributes;
}

template <typename Function>
Function AlcExtension(ALCdevice* device, const char* extension, const char* name) {
    if (!alcIsExtensionPresent(device, extension)) return nullptr;
    return reinterpret_cast<Function>(alcGetProcAddress(device, name));
}

// The output is retried once a second while it is away, and the sound libraries would complain
// about every failed try. Unless the user asks for OpenAL's log (ALSOFT_LOGLEVEL, which OpenAL
// reads at its first device), both OpenAL and ALSA keep quiet; the device says in one line when
// the sound goes and comes back.
bool QuietLibraries() {
    static const bool quiet = [] {
        if (getenv("ALSOFT_LOGLEVEL")) return false;
        setenv("ALSOFT_LOGLEVEL", "0", 1);
        return true;
    }();
    return quiet;
}

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// OpenAL's own device is the last road, and the only one still in need of this: it plays through
// ALSA (alsoft.conf leaves out OpenAL's PulseAudio back-end, whose place the program's own streams
// take), whose default device may reach PulseAudio or PipeWire through ALSA's plugins, but only
// when their server ran as ALSA read its configuration. OpenAL drops that configuration after a
// successful open only, so ALSA would keep its first verdict after a failed one; dropping it
// before every try makes ALSA look for the server again.
void PrepareAlsaForAnotherTry(bool quiet) {
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!alsa) return;  // OpenAL has not loaded ALSA: it plays through another back-end
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    if (auto dropConfiguration =
            reinterpret_cast<int (*)()>(dlsym(alsa, "snd_config_update_free_global")))
        dropConfiguration();
    if (auto setErrorHandler =
            reinterpret_cast<int (*)(ErrorHandler)>(dlsym(alsa, "snd_lib_error_set_handler"));
        quiet && setErrorHandler)
        setErrorHandler(IgnoreAlsaError);
    dlclose(alsa);
}

}  // namespace

OpenAlOutput::OpenAlOutput(ALCdevice* device, ALCcontext* context, bool loopback)
    : device_(device), context_(context) {
    if (loopback) {
        render_ = AlcExtension<LPALCRENDERSAMPLESSOFT>(nullptr, "ALC_SOFT_loopback",
                                                       "alcRenderSamplesSOFT");
    } else if (Name() != "Wave File Writer") {
        pause_ = AlcExtension<LPALCDEVICEPAUSESOFT>(device, "ALC_SOFT_pause_device",
                                                    "alcDevicePauseSOFT");
        resume_ = AlcExtension<LPALCDEVICERESUMESOFT>(device, "ALC_SOFT_pause_device",
                                                      "alcDeviceResumeSOFT");
    }
    getInteger64_ = AlcExtension<LPALCGETINTEGER64VSOFT>(device, "ALC_SOFT_device_clock",
                                                         "alcGetInteger64vSOFT");
}

std::unique_ptr<OpenAlOutput> OpenAlOutput::WithContext(ALCdevice* device,
                                                        const std::vector<ALCint>& attributes,
                                                        bool loopback) {
    if (!device) return nullptr;
    ALCcontext* context = alcCreateContext(device, attributes.data());
    if (!context) {
        alcCloseDevice(device);
        return nullptr;
    }
    return std::unique_ptr<OpenAlOutput>(new OpenAlOutput(device, context, loopback));
}

std::unique_ptr<OpenAlOutput> OpenAlOutput::OpenDefault() {
    PrepareAlsaForAnotherTry(QuietLibraries());
    return WithContext(alcOpenDevice(nullptr), ContextAttributes(), false);
}

std::unique_ptr<OpenAlOutput> OpenAlOutput::OpenLoopback(int sampleRate) {
    auto openLoopback = AlcExtension<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "ALC_SOFT_loopback",
                                                                  "alcLoopbackOpenDeviceSOFT");
    if (!openLoopback) return nullptr;
    return WithContext(
        openLoopback(nullptr),
        ContextAttributes({ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
                           ALC_FLOAT_SOFT, ALC_FREQUENCY, sampleRate, ALC_HRTF_SOFT, ALC_FALSE}),
        true);
}

std::unique_ptr<OpenAlOutput> OpenAlOutput::OpenThrough(StreamOpener openStream) {
    auto output = OpenLoopback(ServerStream::kRate);
    if (output) output->stream_ = openStream(*output);
    return output && output->stream_ ? std::move(output) : nullptr;
}

OpenAlOutput::~OpenAlOutput() {
    stream_.reset();
    if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    alcCloseDevice(device_);
}

void OpenAlOutput::MakeCurrent() const {
    if (alcGetCurrentContext() != context_) alcMakeContextCurrent(context_);
}

OutputState OpenAlOutput::State() const {
    if (stream_) return stream_->Poll();
    ALCint connected = ALC_TRUE;
    alcGetIntegerv(device_, ALC_CONNECTED, 1, &connected);
    return connected != ALC_FALSE ? OutputState::kPlaying : OutputState::kLost;
}

void OpenAlOutput::Pause() {
    if (stream_)
        stream_->SetActive(false);
    else if (pause_)
        pause_(device_);
}

void OpenAlOutput::Resume() {
    if (stream_)
        stream_->SetActive(true);
    else if (resume_)
        resume_(device_);
}

std::array<std::int64_t, 2> OpenAlOutput::ClockAndLatency() const {
    if (!getInteger64_) return {-1, -1};
    ALCint64SOFT clockAndLatency[2] = {0, 0};
    getInteger64_(device_, ALC_DEVICE_CLOCK_LATENCY_SOFT, 2, clockAndLatency);
    return {clockAndLatency[0], clockAndLatency[1]};
}

int OpenAlOutput::SampleRate() const {
    ALCint rate = 0;
    alcGetIntegerv(device_, ALC_FREQUENCY, 1, &rate);
    return rate;
}

std::string OpenAlOutput::Name() const {
    if (stream_) return stream_->ServerName();
    // The full name tells the back-end and the device: "ALSA Default", a PulseAudio sink's name.
    const ALCenum which = alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT")
                              ? ALC_ALL_DEVICES_SPECIFIER
                              : ALC_DEVICE_SPECIFIER;
    const ALCchar* name = alcGetString(device_, which);
    return name ? name : "";
}

}  // namespace platform
