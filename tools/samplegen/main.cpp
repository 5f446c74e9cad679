// SPDX-License-Identifier: MIT
// Renders the program's sample library from a General MIDI SoundFont: 36 piano notes, 36 organ
// notes and the silent slot 0, each tuned to equal temperament and levelled to equal loudness.
//   samplegen <soundfont.sf2> <library folder>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "conditioning.h"
#include "sound_analysis.h"
#include "synth_renderer.h"

namespace {

constexpr double kRenderRate = 44100.0;
constexpr double kRate = kRenderRate / 2.0;
constexpr int kNotes = 36;
constexpr int kKeyBeforeFirstNote = 47;  // note 1 is C3, MIDI key 48
// The file starts this long (0.5 ms) before the onset of the attack, faded in from silence.
constexpr std::size_t kLeadSamples = 11;
// Each note peaks at most here, so a few notes sounding together still fit in 8 bits.
constexpr double kPeakLevel = 0.48;
constexpr double kLevelToleranceDb = 0.05;
constexpr int kLevellingPasses = 8;
// FluidSynth resolves pitch to about a cent; closer than that the correction only dithers.
constexpr double kToleratedCents = 1.0;
constexpr int kTuningAttempts = 6;
constexpr double kSilenceSeconds = 0.1;
// Rendered beyond the file's length, since trimming the start shortens the note.
constexpr double kSpareSeconds = 0.2;

struct Instrument {
    const char* folder;
    Preset preset;
    double holdSeconds;
    double lengthSeconds;
    double fadeOutSeconds;
    double peakLimitingDb;  // how far the loudest attack may be limited to bring all notes up
};

// Yamaha Grand Piano: the key stays down and the note decays naturally until the fade.
// Its high notes have sharp attacks for their loudness, limited a little so that the whole
// instrument can sit higher above the 8-bit noise floor.
constexpr Instrument kPiano{"piano", {0, 0}, 2.75, 2.75, 0.5, 3.0};
// Reed Organ: the only organ of the SoundFont that sounds at the written pitch. The drawbar and
// church organs add a 16-foot or 5 1/3-foot rank, so their waveform repeats an octave lower.
constexpr Instrument kOrgan{"organ", {0, 20}, 1.5, 1.9, 0.15, 0.0};

struct Note {
    int number;
    double correctionCents;
    double errorCents;
    std::vector<float> signal;
};

double equalTemperedHz(int key) {
    return 440.0 * std::exp2((key - 69) / 12.0);
}

std::size_t samples(double seconds) {
    return static_cast<std::size_t>(seconds * kRate);
}

// Renders the note again and again, retuning its key by the measured error, until it is in tune.
Note renderInTune(SynthRenderer& synth, const Instrument& instrument, int number) {
    const int key = kKeyBeforeFirstNote + number;
    const double targetHz = equalTemperedHz(key);
    Note note{number, 0.0, 0.0, {}};
    for (int attempt = 1;; ++attempt) {
        const NoteRequest request{instrument.preset, key, note.correctionCents,
                                  instrument.holdSeconds, instrument.lengthSeconds + kSpareSeconds};
        note.signal = trimBeforeOnset(halveRate(synth.render(request)), kLeadSamples);
        const auto hz = sound_analysis::fundamentalHz(note.signal, kRate);
        if (!hz) throw std::runtime_error("no pitch found in " + std::to_string(number));
        note.errorCents = sound_analysis::centsBetween(*hz, targetHz);
        if (std::abs(note.errorCents) <= kToleratedCents) break;
        if (attempt == kTuningAttempts)
            throw std::runtime_error("cannot tune note " + std::to_string(number));
        note.correctionCents -= note.errorCents;
    }
    return note;
}

// Brings the note to the given loudness with its peaks limited; limiting lowers the loudness a
// little, so the gain is raised by the shortfall until it settles.
std::vector<float> levelTo(const std::vector<float>& signal, double loudnessDb) {
    double gainDb = loudnessDb - sound_analysis::loudnessDb(signal, kRate);
    for (int pass = 1;; ++pass) {
        const auto gain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
        std::vector<float> levelled(signal.size());
        for (std::size_t i = 0; i < signal.size(); ++i) levelled[i] = gain * signal[i];
        levelled = limitPeaks(levelled, kPeakLevel, kRate);
        const double shortfallDb = loudnessDb - sound_analysis::loudnessDb(levelled, kRate);
        if (std::abs(shortfallDb) < kLevelToleranceDb || pass == kLevellingPasses) return levelled;
        gainDb += shortfallDb;
    }
}

void writeWav(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(kRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write " + path.string());
    const auto written = sf_write_raw(file, bytes.data(), static_cast<sf_count_t>(bytes.size()));
    sf_close(file);
    if (written != static_cast<sf_count_t>(bytes.size()))
        throw std::runtime_error("short write to " + path.string());
}

void renderInstrument(SynthRenderer& synth, const Instrument& instrument,
                      const std::filesystem::path& library) {
    const auto envelope = edgeEnvelope(samples(instrument.lengthSeconds), kLeadSamples,
                                       samples(instrument.fadeOutSeconds));
    std::vector<Note> notes;
    for (int number = 1; number <= kNotes; ++number) {
        Note note = renderInTune(synth, instrument, number);
        note.signal.resize(envelope.size());
        for (std::size_t i = 0; i < envelope.size(); ++i) note.signal[i] *= envelope[i];
        notes.push_back(std::move(note));
    }

    // One common loudness for all notes: the loudest at which no note's peak needs more than the
    // instrument's share of limiting to stay in bounds.
    double loudnessDb = 0.0;
    for (const Note& note : notes) {
        const double crestDb = 20.0 * std::log10(sound_analysis::peakLevel(note.signal)) -
                               sound_analysis::loudnessDb(note.signal, kRate);
        loudnessDb = std::min(loudnessDb, 20.0 * std::log10(kPeakLevel) - crestDb);
    }
    loudnessDb += instrument.peakLimitingDb;

    const auto folder = library / instrument.folder;
    std::filesystem::create_directories(folder);
    std::printf("%s (bank %d, preset %d), loudness %.1f dBFS\n", instrument.folder,
                instrument.preset.bank, instrument.preset.number, loudnessDb);
    std::printf("note  correction  error  peak\n");
    for (const Note& note : notes) {
        const auto levelled = levelTo(note.signal, loudnessDb);
        writeWav(folder / (std::to_string(note.number) + ".wav"),
                 toUnsigned8(levelled, envelope, static_cast<std::uint32_t>(note.number)));
        std::printf("%4d  %+9.1f  %+5.2f  %.2f\n", note.number, note.correctionCents,
                    note.errorCents, sound_analysis::peakLevel(levelled));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <soundfont.sf2> <library folder>\n", argv[0]);
        return 2;
    }
    try {
        const std::filesystem::path library = argv[2];
        SynthRenderer synth(argv[1], kRenderRate);
        renderInstrument(synth, kPiano, library);
        renderInstrument(synth, kOrgan, library);
        // Slot 0 loops for the whole run only to keep the stream going: digital silence.
        writeWav(library / kPiano.folder / "0.wav",
                 std::vector<std::uint8_t>(samples(kSilenceSeconds), 128));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "samplegen: %s\n", error.what());
        return 1;
    }
    return 0;
}
