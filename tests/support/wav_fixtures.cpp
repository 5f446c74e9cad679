// SPDX-License-Identifier: MIT
#include "wav_fixtures.h"

#include <cmath>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace testing_support {

double NoteFrequency(int note) {
    return 130.81 * std::pow(2.0, (note - 1) / 12.0);
}

TempDir::TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("tonarium-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteToneWav(const std::string& path, const ToneSpec& spec) {
    SF_INFO info{};
    info.samplerate = spec.sampleRate;
    info.channels = spec.channels;
    info.format = SF_FORMAT_WAV | spec.subformat;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error(sf_strerror(nullptr));
    const auto frames = static_cast<std::size_t>(spec.seconds * spec.sampleRate);
    std::vector<double> samples(frames * spec.channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < spec.channels; ++c)
            samples[i * spec.channels + c] =
                spec.amplitude * std::sin(2 * M_PI * spec.frequency * i / spec.sampleRate);
    sf_writef_double(file, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

double EstimateFrequency(const float* samples, std::size_t frames, int channels, int sampleRate) {
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = 1; i < frames; ++i) {
        if (samples[(i - 1) * channels] < 0 && samples[i * channels] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * static_cast<double>(sampleRate) / (last - first);
}

}  // namespace testing_support
