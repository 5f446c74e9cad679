// SPDX-License-Identifier: MIT
// libFuzzer entry: file bytes → ReadWavFile → a voice on a loopback device → a little mixing.
#include <sndfile.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "core/run_time_error.h"
#include "load_and_play.h"
#include "memory_file.h"
#include "outcomes.h"

namespace {

using fuzzing::Magnitude;
using fuzzing::NoteOutcome;

// libsndfile is not built with coverage, so the fuzzer would see only our few branches. What
// libsndfile made of the input (its error, the format, channels and length it found) and how the
// load ended count as coverage (see outcomes.h).
void NoteWhatLibsndfileSees(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return NoteOutcome({1, sf_error(nullptr)});
    NoteOutcome({2, info.format, std::min(info.channels, 9)});
    NoteOutcome({3, info.format, Magnitude(info.frames)});
    NoteOutcome({4, info.format, info.samplerate % 1000 == 0, info.samplerate % 11025 == 0});
    sf_close(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::MemoryFile file;
    static auto device = platform::LoopbackSound::Open(48000);
    if (file.fd < 0 || !device) std::abort();
    file.Fill(data, size);
    NoteWhatLibsndfileSees(file.path);
    try {
        const platform::PcmSound sound = fuzzing::LoadAndPlay(file.path, *device);
        NoteOutcome({5, sound.channels, sound.bitsPerSample, Magnitude(sound.frames())});
    } catch (const core::LoadError& error) {
        // Reported to the user as an unreadable file: the expected outcome for most inputs.
        NoteOutcome({6, static_cast<std::int64_t>(std::hash<std::string>{}(error.reason()))});
    }
    return 0;
}
