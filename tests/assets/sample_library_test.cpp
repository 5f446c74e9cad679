// SPDX-License-Identifier: MIT
// Checks the shipped sample library itself: the right files, the format the sound bank expects,
// and notes that sound their key, start at once, end in silence and match in loudness.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "sound_analysis.h"

namespace {

namespace fs = std::filesystem;
using namespace sound_analysis;

const fs::path kLibrary = TONARIUM_SAMPLE_LIBRARY;
constexpr int kRate = 22050;
constexpr int kLastNote = 36;
constexpr double kPitchToleranceCents = 10.0;
constexpr double kMaxOnsetSeconds = 0.002;
constexpr double kLoudnessToleranceDb = 2.0;
constexpr double kMaxPeak = 0.5;  // -6 dBFS: room for chords
constexpr double kAudiblePeak = 0.1;

struct Instrument {
    const char* folder;
    int firstNote;
    double minSeconds;
    double maxSeconds;
    double heldSeconds;  // 0 for an instrument whose notes die away on their own
};
void PrintTo(const Instrument& instrument, std::ostream* out) {
    *out << instrument.folder;
}
const Instrument kPiano{"piano", 0, 2.5, 3.0, 0.0};
const Instrument kOrgan{"organ", 1, 1.5, 2.5, 1.5};

struct Sample {
    SF_INFO info{};
    std::vector<short> raw;  // libsndfile maps unsigned byte b to (b - 128) * 256
    std::vector<float> signal;
};

fs::path notePath(const Instrument& instrument, int note) {
    return kLibrary / instrument.folder / (std::to_string(note) + ".wav");
}

Sample readSample(const fs::path& path) {
    Sample sample;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sample.info);
    if (file == nullptr) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return sample;
    }
    sample.raw.resize(static_cast<std::size_t>(sample.info.frames * sample.info.channels));
    sample.raw.resize(static_cast<std::size_t>(
        sf_read_short(file, sample.raw.data(), static_cast<sf_count_t>(sample.raw.size()))));
    sf_close(file);
    for (const short v : sample.raw) sample.signal.push_back(static_cast<float>(v) / 32768.0f);
    return sample;
}

double levelDb(const std::vector<float>& signal, double fromSeconds, double toSeconds) {
    const auto from = static_cast<std::size_t>(fromSeconds * kRate);
    const auto to = std::min(signal.size(), static_cast<std::size_t>(toSeconds * kRate));
    double energy = 0.0;
    for (std::size_t i = from; i < to; ++i) energy += static_cast<double>(signal[i]) * signal[i];
    return 10.0 * std::log10(energy / static_cast<double>(std::max(to, from + 1) - from) + 1e-12);
}

double equalTemperedHz(int note) {
    return 440.0 * std::exp2((note + 47 - 69) / 12.0);
}

// What the tests measure of one note, worked out once per instrument.
struct NoteReport {
    int note;
    Sample sample;
    double onsetSeconds;
    double loudness;
    double peak;
};

const std::vector<NoteReport>& reportsFor(const Instrument& instrument) {
    static std::map<std::string, std::vector<NoteReport>> cache;
    auto [entry, fresh] = cache.try_emplace(instrument.folder);
    if (!fresh) return entry->second;
    for (int note = 1; note <= kLastNote; ++note) {
        NoteReport report{note, readSample(notePath(instrument, note)), 0, 0, 0};
        const auto& signal = report.sample.signal;
        report.onsetSeconds = static_cast<double>(onsetIndex(signal)) / kRate;
        report.loudness = loudnessDb(signal, kRate);
        report.peak = peakLevel(signal);
        entry->second.push_back(std::move(report));
    }
    return entry->second;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class InstrumentNotes : public testing::TestWithParam<Instrument> {};

TEST_P(InstrumentNotes, FolderHoldsExactlyItsNumberedFiles) {
    const Instrument& instrument = GetParam();
    std::set<std::string> expected;
    for (int note = instrument.firstNote; note <= kLastNote; ++note)
        expected.insert(std::to_string(note) + ".wav");
    ASSERT_TRUE(fs::is_directory(kLibrary / instrument.folder));
    EXPECT_EQ(namesIn(kLibrary / instrument.folder), expected);
}

TEST_P(InstrumentNotes, FilesAre8BitMonoPcmAt22050) {
    const Instrument& instrument = GetParam();
    for (int note = instrument.firstNote; note <= kLastNote; ++note) {
        SCOPED_TRACE(notePath(instrument, note));
        const Sample sample = readSample(notePath(instrument, note));
        EXPECT_EQ(sample.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
        EXPECT_EQ(sample.info.samplerate, kRate);
        EXPECT_EQ(sample.info.channels, 1);
        EXPECT_GT(sample.info.frames, 0);
        EXPECT_EQ(sample.raw.size(), static_cast<std::size_t>(sample.info.frames));
    }
}

// Also prints what was measured of every note, for the test log.
TEST_P(InstrumentNotes, SoundTheirKeyInTune) {
    const char* folder = GetParam().folder;
    std::printf("%s  note  pitch error (cents)  onset (ms)  loudness (dBFS)  peak\n", folder);
    for (const NoteReport& report : reportsFor(GetParam())) {
        SCOPED_TRACE("note " + std::to_string(report.note));
        const auto hz = fundamentalHz(report.sample.signal, kRate);
        const double errorCents = hz ? centsBetween(*hz, equalTemperedHz(report.note)) : NAN;
        std::printf("%s  %4d  %+19.2f  %10.2f  %15.1f  %.2f\n", folder, report.note, errorCents,
                    1000.0 * report.onsetSeconds, report.loudness, report.peak);
        ASSERT_TRUE(hz.has_value()) << "no pitch found";
        EXPECT_LE(std::abs(errorCents), kPitchToleranceCents);
    }
}

TEST_P(InstrumentNotes, StartAtOnceAndBeginAndEndAtSilence) {
    for (const NoteReport& report : reportsFor(GetParam())) {
        SCOPED_TRACE("note " + std::to_string(report.note));
        ASSERT_FALSE(report.sample.raw.empty());
        EXPECT_LE(report.onsetSeconds, kMaxOnsetSeconds);
        EXPECT_EQ(report.sample.raw.front(), 0);
        EXPECT_EQ(report.sample.raw.back(), 0);
    }
}

TEST_P(InstrumentNotes, AreEquallyLoudWithHeadroom) {
    const auto& reports = reportsFor(GetParam());
    double mean = 0.0;
    for (const NoteReport& report : reports) mean += report.loudness / kLastNote;
    for (const NoteReport& report : reports) {
        SCOPED_TRACE("note " + std::to_string(report.note));
        EXPECT_GE(report.peak, kAudiblePeak);
        EXPECT_LE(report.peak, kMaxPeak);
        EXPECT_NEAR(report.loudness, mean, kLoudnessToleranceDb);
    }
}

// A piano note dies away while the key is held; an organ note holds its level, then stops.
TEST_P(InstrumentNotes, HaveTheLengthAndEnvelopeOfTheirInstrument) {
    const Instrument& instrument = GetParam();
    constexpr double kFadedDb = 10.0;
    constexpr double kSteadyDb = 1.5;
    for (const NoteReport& report : reportsFor(instrument)) {
        SCOPED_TRACE("note " + std::to_string(report.note));
        const auto& signal = report.sample.signal;
        const double seconds = static_cast<double>(signal.size()) / kRate;
        EXPECT_GE(seconds, instrument.minSeconds);
        EXPECT_LE(seconds, instrument.maxSeconds);
        if (instrument.heldSeconds == 0.0) {
            EXPECT_LT(levelDb(signal, 2.0, 2.25), report.loudness - kFadedDb);
        } else {
            EXPECT_NEAR(levelDb(signal, 0.5, instrument.heldSeconds - 0.1), report.loudness,
                        kSteadyDb);
            EXPECT_LT(levelDb(signal, seconds - 0.2, seconds), report.loudness - kFadedDb);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SampleLibrary, InstrumentNotes, testing::Values(kPiano, kOrgan),
                         [](const auto& info) { return std::string(info.param.folder); });

TEST(SampleLibrary, HoldsOnlyTheTwoInstrumentsAndItsNotice) {
    EXPECT_EQ(namesIn(kLibrary), (std::set<std::string>{"README", "organ", "piano"}));
}

TEST(SampleLibrary, SlotZeroIsDigitalSilence) {
    const Sample silence = readSample(notePath(kPiano, 0));
    ASSERT_FALSE(silence.raw.empty());
    for (const short v : silence.raw) ASSERT_EQ(v, 0);
}

}  // namespace
