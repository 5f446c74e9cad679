// SPDX-License-Identifier: MIT
#include "test_song.h"

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <utility>

#include "wav_fixtures.h"

namespace testing_support {

namespace {

// Standard MIDI File bytes, made by hand.
std::string BigEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
    return out;
}

std::string Vlq(std::uint32_t value) {
    std::string bytes(1, static_cast<char>(value & 0x7F));
    while (value >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return bytes;
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + BigEndian(body.size(), 4) + body;
}

// An event at a time in pulses from the start of its track.
struct Event {
    std::uint32_t pulses;
    std::string bytes;
};

// The events in order of time, each after its delta time, and the end of the track.
std::string Track(std::vector<Event> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.pulses < b.pulses; });
    std::string body;
    std::uint32_t now = 0;
    for (const Event& event : events) {
        body += Vlq(event.pulses - now) + event.bytes;
        now = event.pulses;
    }
    return Chunk("MTrk", body + std::string("\0\xFF\x2F\0", 4));
}

std::string Tempo(std::uint32_t microsecondsPerQuarter) {
    return "\xFF\x51\x03" + BigEndian(microsecondsPerQuarter, 3);
}

std::string Header(int format, int tracks, int division) {
    return Chunk("MThd", BigEndian(format, 2) + BigEndian(tracks, 2) + BigEndian(division, 2));
}

std::string NoteOn(int channel, int pitch) {
    return {static_cast<char>(0x90 | channel), static_cast<char>(pitch), '\x64'};
}

std::string NoteOff(int channel, int pitch) {
    return {static_cast<char>(0x80 | channel), static_cast<char>(pitch), '\x40'};
}

}  // namespace

void WriteTestSong(const std::string& path) {
    const std::string tempos = Track({{0, Tempo(500000)}, {960, Tempo(250000)}});
    std::vector<Event> notes;
    // Pulses from the start, the pitch, and the length in pulses.
    for (auto [at, pitch, length] : {std::tuple{0, 60, 240},
                                     {0, 64, 240},
                                     {0, 67, 240},
                                     {480, 36, 240},
                                     {960, 96, 120},
                                     {1200, 69, 240},
                                     {1440, 32, 480}}) {
        notes.push_back({static_cast<std::uint32_t>(at), NoteOn(0, pitch)});
        notes.push_back({static_cast<std::uint32_t>(at + length), NoteOff(0, pitch)});
    }
    WriteBytes(path, Header(1, 2, 480) + tempos + Track(notes));
}

void WriteLessonSong(const std::string& path) {
    const auto hand = [](const std::string& name, int channel,
                         std::initializer_list<std::pair<int, int>> notes) {
        // The track's name, a meta event.
        std::vector<Event> events{
            {0, "\xFF\x03" + std::string(1, static_cast<char>(name.size())) + name}};
        for (auto [at, pitch] : notes) {
            events.push_back({static_cast<std::uint32_t>(at), NoteOn(channel, pitch)});
            events.push_back({static_cast<std::uint32_t>(at + 192), NoteOff(channel, pitch)});
        }
        return Track(events);
    };
    WriteBytes(path, Header(1, 3, 480) + Track({{0, Tempo(500000)}, {1200, Tempo(250000)}}) +
                         hand("Правая рука", 0, {{480, 60}, {480, 64}, {960, 62}, {1440, 60}}) +
                         hand("Левая рука", 1, {{480, 48}, {720, 43}}));
}

std::vector<TestSongNote> TestSongNotes() {
    return {{0, 13}, {0, 17}, {0, 20}, {0.5, 1}, {1.0, 25}, {1.125, 22}, {1.25, 9}};
}

}  // namespace testing_support
