#include "platform/sound/openal_loopback_device.h"

#include "platform/sound/openal_output.h"

namespace platform {

OpenAlLoopbackDevice::OpenAlLoopbackDevice(int sampleRate, Timing timing)
    : OpenAlSoundDevice([sampleRate] { return OpenAlOutput::OpenLoopback(sampleRate); }, timing) {
    Service();  // opens it
}

std::unique_ptr<OpenAlLoopbackDevice> OpenAlLoopbackDevice::Open(int sampleRate) {
    std::unique_ptr<OpenAlLoopbackDevice> device(new OpenAlLoopbackDevice(sampleRate, Timing{}));
    if (!device->Output()) return nullptr;
    return device;
}

std::vector<float> OpenAlLoopbackDevice::Render(int frames) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    if (Output()) Output()->Render(samples.data(), frames);
    return samples;
}

}  // namespace platform
