// Writes the fuzzer's seed corpus into a folder: make_seeds <folder>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "seed_corpus.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds <folder>\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const fuzzing::Seed& seed : fuzzing::SeedCorpus())
        std::ofstream(folder / seed.name, std::ios::binary) << seed.bytes;
    return 0;
}
