// libFuzzer entry: file bytes → ReadWavFile → a voice on a loopback device → a little mixing.
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "load_and_play.h"
#include "core/run_time_error.h"

namespace {

// The bytes live in an in-memory file that the reader opens by path, as it would a sample.
struct MemoryFile {
    int fd = memfd_create("sample.wav", 0);
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    void Fill(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(fd, 0) != 0) std::abort();
        for (std::size_t written = 0; written < size;) {
            const ssize_t n = pwrite(fd, data + written, size - written, written);
            if (n <= 0) std::abort();
            written += n;
        }
    }
};

// libsndfile is not built with coverage, so the fuzzer would see only our few branches. What
// libsndfile made of the input (its error, the format, channels and length it found) and how the
// load ended are set here as extra coverage, which libFuzzer reads from this section.
__attribute__((section("__libfuzzer_extra_counters"))) std::uint8_t outcomeSeen[1 << 14];

void NoteOutcome(std::initializer_list<std::int64_t> parts) {
    std::size_t hash = 0;
    for (std::int64_t part : parts) hash = hash * 1000003 ^ std::hash<std::int64_t>{}(part);
    outcomeSeen[hash % sizeof outcomeSeen] = 1;
}

// Lengths count by their order of magnitude.
std::int64_t Magnitude(std::int64_t count) {
    return std::bit_width(static_cast<std::uint64_t>(count));
}

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
    static MemoryFile file;
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
