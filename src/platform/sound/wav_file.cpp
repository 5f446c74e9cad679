// SPDX-License-Identifier: MIT
#include "platform/sound/sound.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/run_time_error.h"

namespace platform {

using core::LoadError;

namespace {

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 192000;
constexpr sf_count_t kChunkFrames = 1 << 16;

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

bool IsWavContainer(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
}

template <typename Sample, typename ReadChunk>
std::vector<std::uint8_t> ReadAll(const SF_INFO& info, ReadChunk readChunk) {
    std::vector<std::uint8_t> bytes;
    const std::size_t frameBytes = sizeof(Sample) * info.channels;
    std::vector<Sample> chunk(kChunkFrames * info.channels);
    for (;;) {
        const sf_count_t got = readChunk(chunk.data(), kChunkFrames);
        if (got <= 0) break;
        const auto* first = reinterpret_cast<const std::uint8_t*>(chunk.data());
        bytes.insert(bytes.end(), first, first + got * frameBytes);
        if (got < kChunkFrames) break;
    }
    return bytes;
}

std::int16_t ToInt16(float sample) {
    if (std::isnan(sample)) return 0;
    const float clipped = std::clamp(sample, -1.0f, 1.0f);
    return static_cast<std::int16_t>(std::lrint(clipped * 32767.0f));
}

}  // namespace

PcmSound ReadWavFile(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) throw LoadError(path, "файл не найден");
    if (!S_ISREG(status.st_mode)) throw LoadError(path, "это не обычный файл");

    SF_INFO info{};
    SndFilePtr file(sf_open(path.c_str(), SFM_READ, &info));
    // libsndfile's own reasons are in English and technical; the user is told what matters.
    if (!file) throw LoadError(path, "файл повреждён или это не WAV");
    if (!IsWavContainer(info.format)) throw LoadError(path, "это не файл WAV");
    if (info.channels < 1 || info.channels > 2)
        throw LoadError(path, "поддерживаются только моно и стерео");
    if (info.samplerate < kMinRate || info.samplerate > kMaxRate)
        throw LoadError(path, "недопустимая частота дискретизации");
    if (info.frames > static_cast<sf_count_t>(kMaxSampleSeconds) * info.samplerate)
        throw LoadError(path, "звук длиннее 10 минут");

    PcmSound sound;
    sound.channels = info.channels;
    sound.sampleRate = info.samplerate;
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8) {
        // Unsigned 8-bit is what the device plays natively; keep the bytes as they are.
        sound.bitsPerSample = 8;
        sound.bytes = ReadAll<std::uint8_t>(info, [&](std::uint8_t* out, sf_count_t frames) {
            return sf_read_raw(file.get(), out, frames * info.channels) / info.channels;
        });
    } else {
        // Everything else is read normalised (float files included) and stored as 16-bit.
        sound.bitsPerSample = 16;
        std::vector<float> normalised(kChunkFrames * info.channels);
        sound.bytes = ReadAll<std::int16_t>(info, [&](std::int16_t* out, sf_count_t frames) {
            const sf_count_t got = sf_readf_float(file.get(), normalised.data(), frames);
            for (sf_count_t i = 0; i < got * info.channels; ++i) out[i] = ToInt16(normalised[i]);
            return got;
        });
    }
    if (sound.frames() == 0) throw LoadError(path, "в файле нет звука");
    return sound;
}

}  // namespace platform
