// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// The files of a folder whose names end in `extension`, in order of name. The tests that walk
// them assert there are some: an emptied or moved folder fails rather than passes unseen.
inline std::vector<std::filesystem::path> InputFiles(const std::filesystem::path& folder,
                                                     const std::string& extension) {
    std::vector<std::filesystem::path> files;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(folder, missing))
        if (entry.path().extension() == extension) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace testing_support
