// SPDX-License-Identifier: MIT
#include "forms/art/icons.h"

#include <gtest/gtest.h>

#include "pixels.h"

namespace forms::art {
namespace {

using testing::Dark;

// Widths of the runs of dark pixels along one row of the image.
std::vector<int> DarkRuns(const QImage& image, int y) {
    std::vector<int> runs;
    bool inRun = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool dark = Dark(image.pixelColor(x, y));
        if (dark && !inRun) runs.push_back(0);
        if (dark) ++runs.back();
        inRun = dark;
    }
    return runs;
}

TEST(MainIcon, IsOpaqueTwentyFourBit) {
    const QImage icon = PaintMainIcon(kMainIconSize);
    EXPECT_EQ(icon.size(), QSize(72, 72));
    EXPECT_FALSE(icon.hasAlphaChannel());
    EXPECT_EQ(icon.depth(), 24);
    EXPECT_TRUE(MainIcon().availableSizes().contains(QSize(72, 72)));
}

// Across the top, three wide black keys; near the bottom, only three thin lines between white
// keys, and white between them.
TEST(MainIcon, ShowsThreeBlackKeysAndLinesBelowThem) {
    for (int size : {16, 32, 72, 256}) {
        const QImage icon = PaintMainIcon(size);
        const std::vector<int> keys = DarkRuns(icon, size / 4);
        ASSERT_EQ(keys.size(), 3u) << "size " << size;
        for (int width : keys) EXPECT_GE(width, size / 8) << "size " << size;

        const std::vector<int> lines = DarkRuns(icon, size * 7 / 8);
        ASSERT_EQ(lines.size(), 3u) << "size " << size;
        for (int width : lines) EXPECT_LE(width, std::max(2, size / 36)) << "size " << size;
        EXPECT_GT(qGray(icon.pixel(size / 8, size * 7 / 8)), 200) << "size " << size;
    }
}

TEST(InformationIcon, IsARoundBlueBadgeWithAWhiteLetter) {
    const QIcon icon = InformationIcon();
    for (int size : {16, 32, 48}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage badge = PaintInformationIcon(size);
        EXPECT_EQ(qAlpha(badge.pixel(0, 0)), 0) << "size " << size;
        EXPECT_EQ(qAlpha(badge.pixel(size - 1, size - 1)), 0) << "size " << size;

        const QColor stem = badge.pixelColor(size / 2, size * 6 / 10);
        EXPECT_TRUE(testing::White(stem)) << "size " << size;
        const QColor body = badge.pixelColor(size / 5, size * 6 / 10);
        EXPECT_EQ(body.alpha(), 255) << "size " << size;
        EXPECT_GT(body.blue(), body.red() + 60) << "size " << size;
    }
}

}  // namespace
}  // namespace forms::art
