// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <span>

// Measurements of one rendered note, shared by the sample generator (which tunes and levels the
// notes with them) and the tests of the shipped library (which check the result the same way).
// Signals are mono with full scale at ±1.
namespace sound_analysis {

// Where the attack starts: the first sample whose magnitude reaches this share of the peak.
inline constexpr double kOnsetShareOfPeak = 0.1;
// Loudness is judged over this stretch after the onset, where a note is loudest and heard most.
inline constexpr double kLoudnessSeconds = 0.5;
// Pitch is measured past the attack transient, over the sustained part of the note.
inline constexpr double kPitchSkipSeconds = 0.1;
inline constexpr double kPitchSeconds = 0.5;

double peakLevel(std::span<const float> signal);

// Index of the onset sample (or of the first sample reaching another share of the peak); 0 for a
// silent signal.
std::size_t onsetIndex(std::span<const float> signal, double shareOfPeak = kOnsetShareOfPeak);

// RMS level in dBFS (a full-scale sine reads -3 dB) of the loudness stretch.
double loudnessDb(std::span<const float> signal, double rate);

// Frequency of the fundamental in the sustained part: the period comes from the YIN difference
// function (robust against octave errors), then the fundamental's spectral peak refines it.
// Empty when the signal is too short or has no clear period between 50 and 1500 Hz.
std::optional<double> fundamentalHz(std::span<const float> signal, double rate);

double centsBetween(double hz, double referenceHz);

}  // namespace sound_analysis
