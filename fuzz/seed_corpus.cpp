#include "seed_corpus.h"

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace fuzzing {

namespace {

// libsndfile writing into a string instead of a file.
struct MemoryWriter {
    std::string bytes;
    sf_count_t position = 0;

    static MemoryWriter& Of(void* self) { return *static_cast<MemoryWriter*>(self); }
    static SF_VIRTUAL_IO Io() {
        SF_VIRTUAL_IO io{};
        io.get_filelen = [](void* self) -> sf_count_t { return Of(self).bytes.size(); };
        io.seek = [](sf_count_t offset, int whence, void* self) -> sf_count_t {
            MemoryWriter& w = Of(self);
            const sf_count_t base = whence == SEEK_SET   ? 0
                                    : whence == SEEK_CUR ? w.position
                                                         : static_cast<sf_count_t>(w.bytes.size());
            return w.position = base + offset;
        };
        io.read = [](void* out, sf_count_t count, void* self) -> sf_count_t {
            MemoryWriter& w = Of(self);
            const sf_count_t size = w.bytes.size();
            const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - w.position));
            std::memcpy(out, w.bytes.data() + w.position, n);
            w.position += n;
            return n;
        };
        io.write = [](const void* in, sf_count_t count, void* self) -> sf_count_t {
            MemoryWriter& w = Of(self);
            if (w.bytes.size() < static_cast<std::size_t>(w.position + count))
                w.bytes.resize(w.position + count);
            std::memcpy(w.bytes.data() + w.position, in, count);
            w.position += count;
            return count;
        };
        io.tell = [](void* self) -> sf_count_t { return Of(self).position; };
        return io;
    }
};

std::string Tone(int format, int channels, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    MemoryWriter writer;
    SF_VIRTUAL_IO io = MemoryWriter::Io();
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &writer);
    if (!file) throw std::runtime_error(sf_strerror(nullptr));
    constexpr int kFrames = 300;
    std::vector<double> samples(kFrames * channels);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.5 * std::sin(2 * M_PI * 440.0 * (i / channels) / sampleRate);
    sf_writef_double(file, samples.data(), kFrames);
    sf_close(file);
    return writer.bytes;
}

std::string U16(std::uint16_t value) {
    return {static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}
std::string U32(std::uint32_t value) {
    return U16(value & 0xffff) + U16(value >> 16);
}

std::string ChunkClaiming(std::string_view id, std::uint32_t claimed, const std::string& body) {
    return std::string(id) + U32(claimed) + body;
}
std::string Chunk(std::string_view id, const std::string& body) {
    const std::string pad(body.size() % 2, '\0');
    return ChunkClaiming(id, body.size(), body) + pad;
}
std::string Riff(const std::string& chunks) {
    return "RIFF" + U32(4 + chunks.size()) + "WAVE" + chunks;
}

struct Format {
    std::uint16_t tag = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 22050;
    std::uint16_t bits = 8;
    int blockAlign = -1;  // -1: worked out from the bits and channels
    std::string extra{};  // cbSize and what follows, for non-PCM tags
};

std::string FmtBody(const Format& f) {
    const std::uint16_t align = f.blockAlign >= 0 ? f.blockAlign : f.channels * ((f.bits + 7) / 8);
    return U16(f.tag) + U16(f.channels) + U32(f.rate) + U32(f.rate * align) + U16(align) +
           U16(f.bits) + f.extra;
}
std::string Fmt(const Format& f) {
    return Chunk("fmt ", FmtBody(f));
}

const std::string kData = Chunk("data", std::string(64, '\x80'));
const std::string kPcm = Fmt({});

std::string WavWith(const Format& f) {
    return Riff(Fmt(f) + kData);
}

std::vector<Seed> PlayableSeeds() {
    std::vector<Seed> seeds;
    const struct {
        const char* name;
        int subformat;
    } kPcmLayouts[] = {{"u8", SF_FORMAT_PCM_U8},  {"s16", SF_FORMAT_PCM_16},
                       {"s24", SF_FORMAT_PCM_24}, {"s32", SF_FORMAT_PCM_32},
                       {"f32", SF_FORMAT_FLOAT},  {"f64", SF_FORMAT_DOUBLE}};
    const int kRates[] = {8000, 22050, 44100, 96000, 192000};
    int rateChoice = 0;
    for (const auto& layout : kPcmLayouts)
        for (int channels : {1, 2})
            for (auto [container, prefix] :
                 {std::pair{SF_FORMAT_WAV, "wav"}, {SF_FORMAT_WAVEX, "wavex"}}) {
                const int rate = kRates[rateChoice++ % std::size(kRates)];
                seeds.push_back({std::string(prefix) + "_" + layout.name + "_ch" +
                                     std::to_string(channels) + "_" + std::to_string(rate) + ".wav",
                                 Tone(container | layout.subformat, channels, rate), true, channels,
                                 rate});
            }
    const struct {
        const char* name;
        int subformat;
        int channels;
    } kCodecs[] = {{"ulaw", SF_FORMAT_ULAW, 2},           {"alaw", SF_FORMAT_ALAW, 1},
                   {"ima_adpcm", SF_FORMAT_IMA_ADPCM, 2}, {"ms_adpcm", SF_FORMAT_MS_ADPCM, 1},
                   {"gsm610", SF_FORMAT_GSM610, 1},       {"g721", SF_FORMAT_G721_32, 1}};
    for (const auto& codec : kCodecs)
        seeds.push_back({std::string("wav_") + codec.name + ".wav",
                         Tone(SF_FORMAT_WAV | codec.subformat, codec.channels, 8000), true,
                         codec.channels, 8000});
    return seeds;
}

std::vector<Seed> BrokenSeeds() {
    const std::string stereo16 = Tone(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 22050);
    const std::string guid(16, '\x5a');
    std::string smpl = U32(0) + U32(0) + U32(45351) + U32(60) + U32(0) + U32(0) + U32(0);
    smpl += U32(0xffffffff) + U32(0);  // loop count, sampler data
    const std::string ds64 = U32(0xffffffff) + U32(0x7fffffff) + U32(0xffffffff) + U32(0x7fffffff) +
                             U32(0xffffffff) + U32(0x7fffffff) + U32(0);
    return {
        {"empty.wav", ""},
        {"riff_only.wav", "RIFF"},
        {"header_only.wav", Riff("")},
        {"cut_in_header.wav", stereo16.substr(0, 30)},
        {"cut_after_header.wav", stereo16.substr(0, 44)},
        {"cut_mid_frame.wav", stereo16.substr(0, 47)},
        {"riff_size_small.wav", "RIFF" + U32(4) + "WAVE" + kPcm + kData},
        {"riff_size_huge.wav", "RIFF" + U32(0xffffffff) + "WAVE" + kPcm + kData},
        {"fmt_size_short.wav", Riff(ChunkClaiming("fmt ", 8, FmtBody({}).substr(0, 8)) + kData)},
        {"fmt_size_huge.wav", Riff(ChunkClaiming("fmt ", 0xfffffff0, FmtBody({})) + kData)},
        {"data_past_end.wav", Riff(kPcm + ChunkClaiming("data", 100000, std::string(64, 'x')))},
        {"data_size_huge.wav",
         Riff(kPcm + ChunkClaiming("data", 0xffffffff, std::string(64, 'x')))},
        {"data_size_odd.wav",
         Riff(Fmt({.channels = 2, .bits = 16}) + Chunk("data", std::string(63, '\x11')))},
        {"no_fmt.wav", Riff(kData)},
        {"no_data.wav", Riff(kPcm)},
        {"data_before_fmt.wav", Riff(kData + kPcm)},
        {"two_fmt.wav", Riff(kPcm + Fmt({.channels = 2, .bits = 16}) + kData)},
        {"channels_0.wav", WavWith({.channels = 0})},
        {"channels_3.wav", WavWith({.channels = 3})},
        {"channels_8_extensible.wav", WavWith({.tag = 0xfffe,
                                               .channels = 8,
                                               .bits = 16,
                                               .extra = U16(22) + U16(16) + U32(0xff) + guid})},
        {"channels_65535.wav", WavWith({.channels = 0xffff})},
        {"rate_0.wav", WavWith({.rate = 0})},
        {"rate_1.wav", WavWith({.rate = 1})},
        {"rate_999.wav", WavWith({.rate = 999})},
        {"rate_192001.wav", WavWith({.rate = 192001})},
        {"rate_max.wav", WavWith({.rate = 0xffffffff})},
        {"bits_0.wav", WavWith({.bits = 0})},
        {"bits_4.wav", WavWith({.bits = 4})},
        {"bits_12.wav", WavWith({.bits = 12})},
        {"bits_20.wav", WavWith({.bits = 20})},
        {"bits_64.wav", WavWith({.bits = 64})},
        {"block_align_0.wav", WavWith({.bits = 16, .blockAlign = 0})},
        {"block_align_max.wav", WavWith({.bits = 16, .blockAlign = 0xffff})},
        {"block_align_huge.wav", WavWith({.channels = 2, .bits = 16, .blockAlign = 0x7fff})},
        {"tag_0.wav", WavWith({.tag = 0})},
        {"tag_mp3.wav", WavWith({.tag = 0x55, .bits = 0, .extra = U16(12) + std::string(12, 1)})},
        {"tag_unknown.wav", WavWith({.tag = 0x1234})},
        {"tag_float_16bit.wav", WavWith({.tag = 3, .bits = 16})},
        {"tag_extensible_garbage_guid.wav",
         WavWith({.tag = 0xfffe, .bits = 16, .extra = U16(22) + U16(16) + U32(4) + guid})},
        {"tag_extensible_short.wav", WavWith({.tag = 0xfffe, .bits = 16, .extra = U16(22)})},
        {"tag_ima_adpcm_block_0.wav",
         WavWith({.tag = 0x11, .bits = 4, .blockAlign = 0, .extra = U16(2) + U16(0)})},
        {"tag_ms_adpcm_many_coefs.wav",
         WavWith(
             {.tag = 2, .bits = 4, .blockAlign = 256, .extra = U16(4) + U16(500) + U16(0xffff)})},
        {"tag_gsm_stereo.wav", WavWith({.tag = 0x31,
                                        .channels = 2,
                                        .bits = 0,
                                        .blockAlign = 65,
                                        .extra = U16(2) + U16(320)})},
        {"nested_riff.wav", Riff(kPcm + Chunk("RIFF", "WAVE" + kPcm + kData) + kData)},
        {"list_inner_size_wrong.wav",
         Riff(kPcm + Chunk("LIST", "INFO" + ChunkClaiming("INAM", 1000, "x")) + kData)},
        {"smpl_loop_count_huge.wav", Riff(kPcm + Chunk("smpl", smpl) + kData)},
        {"cue_count_huge.wav", Riff(kPcm + Chunk("cue ", U32(0xffffffff)) + kData)},
        {"peak_many_channels.wav",
         Riff(Fmt({.tag = 3, .bits = 32}) + Chunk("PEAK", U32(1) + U32(0) + std::string(800, 1)) +
              Chunk("data", std::string(64, 0)))},
        {"rf64_ds64_huge.wav", "RF64" + U32(0xffffffff) + "WAVE" + Chunk("ds64", ds64) + kPcm +
                                   ChunkClaiming("data", 0xffffffff, std::string(64, 'x'))},
    };
}

}  // namespace

std::vector<Seed> SeedCorpus() {
    std::vector<Seed> seeds = PlayableSeeds();
    for (Seed& seed : BrokenSeeds()) seeds.push_back(std::move(seed));
    return seeds;
}

}  // namespace fuzzing
