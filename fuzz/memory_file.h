// SPDX-License-Identifier: MIT
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzzing {

// The bytes live in an in-memory file that the reader opens by path, as it would a real one.
struct MemoryFile {
    int fd = memfd_create("input", 0);
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

}  // namespace fuzzing
