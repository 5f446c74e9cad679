// SPDX-License-Identifier: MIT
#pragma once

#include <sndfile.h>

#include <filesystem>
#include <string>

namespace testing_support {

// A temporary folder that removes itself.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

struct ToneSpec {
    double frequency = 440.0;
    double seconds = 0.5;
    double amplitude = 0.5;
    int sampleRate = 22050;
    int channels = 1;
    int subformat = SF_FORMAT_PCM_U8;  // libsndfile sub-format
};

// The pitch of the keyboard's note n (1..36), C3 to B5.
double NoteFrequency(int note);

// Writes a sine tone as a WAV file of the given layout.
void WriteToneWav(const std::string& path, const ToneSpec& spec);

// Writes raw bytes to a file (for broken files).
void WriteBytes(const std::string& path, const std::string& bytes);

// Frequency of a sine in the samples, by counting rising zero crossings (channel 0 of interleaved).
double EstimateFrequency(const float* samples, std::size_t frames, int channels, int sampleRate);

}  // namespace testing_support
