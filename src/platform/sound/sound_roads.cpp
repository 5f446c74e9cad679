// The roads of the system's sound device, apart from the device itself so that what only mixes
// (the fuzzer, the loopback tests) links no sound server library.
#include "platform/sound/openal_output.h"
#include "platform/sound/openal_sound_device.h"
#include "platform/sound/pipewire_output.h"
#include "platform/sound/pulse_output.h"

namespace platform {

std::vector<OpenAlSoundDevice::Opener> OpenAlSoundDevice::Roads(Road road) {
    const Opener pipeWire = [] { return OpenAlOutput::OpenThrough(OpenPipeWireStream); };
    const Opener pulse = [] { return OpenAlOutput::OpenThrough(OpenPulseStream); };
    const Opener openAl = &OpenAlOutput::OpenDefault;
    std::vector<Opener> roads;
    switch (road) {
        case Road::kAny:
            roads = {pipeWire, pulse, openAl};
            break;
        case Road::kPipeWire:
            roads = {pipeWire};
            break;
        case Road::kPulse:
            roads = {pulse};
            break;
        case Road::kOpenAl:
            roads = {openAl};
            break;
    }
    return roads;
}

}  // namespace platform
