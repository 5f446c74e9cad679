#pragma once

#include <string>
#include <vector>

namespace fuzzing {

// One starting input for the sample fuzzer.
struct Seed {
    std::string name;  // its file name in the corpus
    std::string bytes;
    // Well-formed files the program must play, with the layout it must read from them.
    bool playable = false;
    int channels = 0;
    int sampleRate = 0;
};

// Short tones in every layout libsndfile writes as WAV (integer and float PCM, the compressed
// codecs, plain and extensible headers), then hand-made broken files: wrong and huge chunk sizes,
// data past the end, odd channel counts and rates, unknown format tags, nested and missing chunks.
std::vector<Seed> SeedCorpus();

}  // namespace fuzzing
