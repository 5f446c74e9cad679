#include "song_seeds.h"

#include <algorithm>

namespace fuzzing {

namespace smf {

namespace {

std::string Vlq(std::uint32_t value) {
    std::string bytes(1, static_cast<char>(value & 0x7F));
    while (value >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return bytes;
}

std::string BigEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
    return out;
}

}  // namespace

std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (int byte : bytes) out += static_cast<char>(byte);
    return out;
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + BigEndian(body.size(), 4) + body;
}

std::string Header(int format, int tracks, int division) {
    return Chunk("MThd", BigEndian(format, 2) + BigEndian(tracks, 2) + BigEndian(division, 2));
}

std::string Track(std::vector<Event> events, bool end) {
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.pulses < b.pulses; });
    std::string body;
    std::uint32_t now = 0;
    for (const Event& event : events) {
        body += Vlq(event.pulses - now) + event.bytes;
        now = event.pulses;
    }
    if (end) body += Bytes({0, 0xFF, 0x2F, 0});
    return Chunk("MTrk", body);
}

std::string Tempo(std::uint32_t microsecondsPerQuarter) {
    return Bytes({0xFF, 0x51, 3}) + BigEndian(microsecondsPerQuarter, 3);
}

std::string NoteOn(int channel, int pitch, int velocity) {
    return Bytes({0x90 | channel, pitch, velocity});
}

std::string NoteOff(int channel, int pitch) {
    return Bytes({0x80 | channel, pitch, 64});
}

}  // namespace smf

namespace {

using namespace smf;

// A scale of `count` notes from `pitch` up, a quarter note (480 pulses) each.
std::vector<Event> Scale(int channel, int pitch, int count) {
    std::vector<Event> events;
    for (int i = 0; i < count; ++i) {
        events.push_back({i * 480u, NoteOn(channel, pitch + i)});
        events.push_back({i * 480u + 400, NoteOff(channel, pitch + i)});
    }
    return events;
}

}  // namespace

std::vector<SongSeed> SongSeeds() {
    const std::string scale = Track(Scale(0, 60, 8));
    const std::string song = Header(0, 1, 480) + scale;
    const std::string tempos = Track({{0, Tempo(500000)}, {960, Tempo(250000)}});
    // Note ons and offs (velocity 0) after one status byte.
    const std::string running = Chunk(
        "MTrk", Bytes({0, 0x90, 60, 100, 0x60, 60, 0, 0, 64, 100, 0x60, 64, 0, 0, 0xFF, 0x2F, 0}));
    const std::string drums = Track({{0, NoteOn(9, 36)}, {240, NoteOff(9, 36)}});
    const std::string unended =
        Track({{0, NoteOn(0, 60)}, {0, NoteOn(0, 64)}, {480, Bytes({0xFF, 1, 1, 'x'})}});
    const std::string chord = Track({{0, NoteOn(0, 0)},
                                     {0, NoteOn(0, 60)},
                                     {0, NoteOn(0, 127)},
                                     {96, NoteOff(0, 0)},
                                     {96, NoteOff(0, 60)},
                                     {96, NoteOff(0, 127)}});
    const auto broken = [](std::initializer_list<int> track, bool end = true) {
        return Header(0, 1, 96) + Track({{0, Bytes(track)}}, end);
    };
    return {
        {"format0_scale.mid", song, 8},
        {"format1_tempo_map.mid", Header(1, 3, 480) + tempos + scale + Track(Scale(1, 20, 12)), 20},
        {"chord_and_extremes.mid", Header(0, 1, 96) + chord, 3},
        {"running_status.mid", Header(0, 1, 96) + running, 2},
        {"percussion_left_out.mid", Header(1, 2, 480) + drums + scale, 8},
        {"notes_never_ended.mid", Header(0, 1, 480) + unended, 2},
        {"trailing_bytes.mid", song + std::string(3, '\0'), 8},
        // Broken ones, and one libsmf takes for a track (a chunk of unknown kind).
        {"unknown_chunk.mid", Header(1, 1, 480) + Chunk("XFIH", "junk") + scale},
        {"empty.mid", ""},
        {"not_midi.mid", "RIFF$\0\0\0WAVEfmt "},
        {"header_only.mid", Header(0, 1, 480)},
        {"header_cut.mid", song.substr(0, 10)},
        {"track_cut.mid", song.substr(0, 40)},
        {"track_cut_in_event.mid", song.substr(0, song.size() - 6)},
        {"header_long.mid", Chunk("MThd", std::string(12, '\1')) + scale},
        {"format2.mid", Header(2, 1, 480) + scale},
        {"format_huge.mid", Header(0xFFFF, 1, 480) + scale},
        {"no_tracks_declared.mid", Header(1, 0, 480) + scale},
        {"tracks_missing.mid", Header(1, 40, 480) + scale},
        {"smpte_timing.mid", Header(0, 1, 0xE728) + scale},
        {"division_zero.mid", Header(0, 1, 0) + scale},
        {"track_without_end.mid", Header(0, 1, 480) + Track(Scale(0, 60, 3), false)},
        {"tempo_empty.mid", broken({0xFF, 0x51, 0})},
        {"tempo_zero.mid", Header(0, 1, 96) + Track({{0, Tempo(0)}, {96, NoteOn(0, 60)}})},
        {"meta_length_huge.mid", broken({0xFF, 3, 0x8F, 0xFF, 0xFF, 0x7F})},
        {"sysex_unended.mid", broken({0xF0, 5, 0x7E, 0x7F}, false)},
        {"status_missing.mid", Header(0, 1, 96) + Chunk("MTrk", Bytes({0, 60, 100}))},
        {"delta_unended.mid", Header(0, 1, 96) + Chunk("MTrk", Bytes({0x80, 0x80, 0x80}))},
        {"unknown_status.mid", broken({0xF4, 1, 2})},
        {"chunk_length_huge.mid", Header(0, 1, 96) + "MTrk" + Bytes({0xFF, 0xFF, 0xFF, 0xF0})},
        {"time_signature_short.mid", broken({0xFF, 0x58, 1, 4})},
    };
}

}  // namespace fuzzing
