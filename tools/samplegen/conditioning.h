// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Steps that turn a rendered note into the 8-bit sample the library ships. Full scale is ±1.

// Halves the sample rate behind a low-pass filter, so nothing above the new Nyquist folds back.
std::vector<float> halveRate(std::span<const float> signal);

// Drops everything before the attack but `leadSamples` before the point where it reaches twice the
// onset level, so the note speaks at once even after dither has blurred where the onset lies. The
// lead is meant to be faded in.
std::vector<float> trimBeforeOnset(std::span<const float> signal, std::size_t leadSamples);

// Look-ahead peak limiter: where the signal would pass `ceiling`, the gain falls smoothly just
// before the peak and recovers shortly after it, so only the hammer transient is tamed.
std::vector<float> limitPeaks(std::span<const float> signal, double ceiling, double rate);

// Gains that rise from 0 over `fadeIn` samples and fall back to exactly 0 over the last `fadeOut`,
// both raised-cosine shaped, so the sample starts and ends at silence without a click.
std::vector<float> edgeEnvelope(std::size_t length, std::size_t fadeIn, std::size_t fadeOut);

// Unsigned 8-bit PCM (silence is 128) with triangular dither, so quiet tails turn into a steady
// soft hiss instead of buzzing. No noise shaping: at 22 kHz it could only push the noise into
// 5-11 kHz, where the ear is about as sensitive as below, and it adds 3 dB of noise power. The
// dither follows `envelope` down to nothing, which makes the silent edges exact.
std::vector<std::uint8_t> toUnsigned8(std::span<const float> signal,
                                      std::span<const float> envelope, std::uint32_t seed);
