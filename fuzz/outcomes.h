// SPDX-License-Identifier: MIT
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>

namespace fuzzing {

// Extra coverage, which libFuzzer reads from this section: for a library not built with coverage,
// what it made of the input counts as a branch of its own.
__attribute__((section("__libfuzzer_extra_counters"))) inline std::uint8_t outcomeSeen[1 << 14];

inline void NoteOutcome(std::initializer_list<std::int64_t> parts) {
    std::size_t hash = 0;
    for (std::int64_t part : parts) hash = hash * 1000003 ^ std::hash<std::int64_t>{}(part);
    outcomeSeen[hash % sizeof outcomeSeen] = 1;
}

// Lengths count by their order of magnitude.
inline std::int64_t Magnitude(std::int64_t count) {
    return std::bit_width(static_cast<std::uint64_t>(count));
}

}  // namespace fuzzing
