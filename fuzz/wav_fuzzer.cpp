// libFuzzer entry: file bytes → ReadWavFile → a voice on a loopback device → a little mixing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "load_and_play.h"
#include "platform/run_time_error.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    static auto device = platform::OpenAlSoundDevice::OpenLoopback(48000);
    if (file.fd < 0 || !device) std::abort();
    file.Fill(data, size);
    try {
        fuzzing::LoadAndPlay(file.path, *device);
    } catch (const platform::LoadError&) {
        // Reported to the user as an unreadable file: the expected outcome for most inputs.
    }
    return 0;
}
