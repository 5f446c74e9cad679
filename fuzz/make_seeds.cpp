// Writes the fuzzers' seed corpora into their folders: make_seeds <sample folder> <song folder>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "seed_corpus.h"
#include "song_seeds.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: make_seeds <sample folder> <song folder>\n";
        return 2;
    }
    const auto write = [](const std::filesystem::path& folder, const auto& seeds) {
        std::filesystem::create_directories(folder);
        for (const auto& seed : seeds)
            std::ofstream(folder / seed.name, std::ios::binary) << seed.bytes;
    };
    write(argv[1], fuzzing::SeedCorpus());
    write(argv[2], fuzzing::SongSeeds());
    return 0;
}
