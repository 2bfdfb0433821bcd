// Mask run-finding: which pixels see through, where runs close, and masks that do not fit the window.
#include "controls/MaskRuns.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using controls::FindTransparentRuns;
using controls::MaskRun;

// Builds mask rows from strings ('1' = bit set), padded to `stride` bytes.
std::vector<uint8_t> Bits(const std::vector<const char*>& rows, size_t stride) {
    std::vector<uint8_t> bits(rows.size() * stride, 0);
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; rows[y][x]; ++x)
            if (rows[y][x] == '1')
                bits[y * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return bits;
}

TEST(MaskRuns, TopLeftValueSeesThroughWhateverItIs) {
    // White corner: the set bits are the see-through ones.
    auto white = Bits({"1100", "1001"}, 2);
    auto scan = FindTransparentRuns(white.data(), 2, 4, 2, 4, 2);
    EXPECT_EQ(scan.runs, (std::vector<MaskRun>{{0, 0, 2}, {1, 0, 1}, {1, 3, 4}}));
    EXPECT_EQ(scan.transparentPixels, 4);
    // Black corner: the same picture inverted gives the clear bits.
    auto black = Bits({"0011", "0110"}, 2);
    scan = FindTransparentRuns(black.data(), 2, 4, 2, 4, 2);
    EXPECT_EQ(scan.runs, (std::vector<MaskRun>{{0, 0, 2}, {1, 0, 1}, {1, 3, 4}}));
}

TEST(MaskRuns, RunReachingTheRowEndIsClosedThereAcrossByteBoundaries) {
    auto bits = Bits({"1000000000011", "1111111111111"}, 4);
    auto scan = FindTransparentRuns(bits.data(), 4, 13, 2, 13, 2);
    EXPECT_EQ(scan.runs, (std::vector<MaskRun>{{0, 0, 1}, {0, 11, 13}, {1, 0, 13}}));
    EXPECT_EQ(scan.transparentPixels, 1 + 2 + 13);
}

TEST(MaskRuns, MaskOfOneValueIsAllSeeThrough) {
    for (const char* row : {"00000", "11111"}) {
        auto bits = Bits({row, row, row}, 2);
        auto scan = FindTransparentRuns(bits.data(), 2, 5, 3, 5, 3);
        EXPECT_EQ(scan.transparentPixels, 15) << row;
        EXPECT_EQ(scan.runs.size(), 3u) << row;
    }
}

TEST(MaskRuns, MaskSmallerThanWindowStopsAtItsOwnEdge) {
    // 3 x 2 mask, 8 x 6 window: nothing past the mask is read or cut out.
    auto bits = Bits({"101", "111"}, 1);
    auto scan = FindTransparentRuns(bits.data(), 1, 3, 2, 8, 6);
    EXPECT_EQ(scan.runs, (std::vector<MaskRun>{{0, 0, 1}, {0, 2, 3}, {1, 0, 3}}));
    // A window smaller than the mask scans only the window.
    scan = FindTransparentRuns(bits.data(), 1, 3, 2, 2, 1);
    EXPECT_EQ(scan.runs, (std::vector<MaskRun>{{0, 0, 1}}));
}

TEST(MaskRuns, WidthBeyondTheRowBytesIsNotRead) {
    // A header claiming 40 pixels over 1-byte rows: only the 8 stored pixels are scanned.
    std::vector<uint8_t> bits = {0xF0, 0x0F};
    auto scan = FindTransparentRuns(bits.data(), 1, 40, 2, 40, 2);
    EXPECT_EQ(scan.runs, (std::vector<MaskRun>{{0, 0, 4}, {1, 4, 8}}));
    EXPECT_TRUE(FindTransparentRuns(nullptr, 1, 8, 1, 8, 1).runs.empty());
}

} // namespace
