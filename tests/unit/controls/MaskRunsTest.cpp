// Mask run-finding: which pixels see through, where runs close, and masks that do not fit the window.
#include "controls/MaskRuns.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using controls::FindTransparentRuns;
using controls::MaskRun;

TEST(MaskRuns, FindsTheRunsOfTheCornerValueWithinMaskAndWindow) {
    const struct {
        const char* what;
        std::vector<const char*> rows; // '1' = bit set, padded to `stride` bytes
        size_t stride;
        int maskW, maskH, winW, winH;
        std::vector<MaskRun> runs; // the see-through pixels
    } cases[] = {
        // clang-format off
        {"white corner: set bits", {"1100", "1001"}, 2, 4, 2, 4, 2, {{0, 0, 2}, {1, 0, 1}, {1, 3, 4}}},
        {"black corner: clear bits", {"0011", "0110"}, 2, 4, 2, 4, 2, {{0, 0, 2}, {1, 0, 1}, {1, 3, 4}}},
        {"one value, clear", {"00000", "00000"}, 2, 5, 2, 5, 2, {{0, 0, 5}, {1, 0, 5}}},
        {"one value, set",   {"11111", "11111"}, 2, 5, 2, 5, 2, {{0, 0, 5}, {1, 0, 5}}},
        {"run closed at the row end, across bytes", {"1000000000011", "1111111111111"}, 4, 13, 2, 13, 2,
         {{0, 0, 1}, {0, 11, 13}, {1, 0, 13}}},
        // Nothing past a smaller mask is read or cut out; a smaller window scans only itself.
        {"mask smaller than window", {"101", "111"}, 1, 3, 2, 8, 6, {{0, 0, 1}, {0, 2, 3}, {1, 0, 3}}},
        {"window smaller than mask", {"101", "111"}, 1, 3, 2, 2, 1, {{0, 0, 1}}},
        // A header claiming 40 pixels over 1-byte rows: only the 8 stored pixels are scanned.
        {"width beyond the row bytes", {"11110000", "00001111"}, 1, 40, 2, 40, 2, {{0, 0, 4}, {1, 4, 8}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bits(c.rows.size() * c.stride, 0);
        for (size_t y = 0; y < c.rows.size(); ++y)
            for (size_t x = 0; c.rows[y][x]; ++x)
                if (c.rows[y][x] == '1')
                    bits[y * c.stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        const auto scan = FindTransparentRuns(bits.data(), c.stride, c.maskW, c.maskH, c.winW, c.winH);
        EXPECT_EQ(scan.runs, c.runs) << c.what;
        long pixels = 0;
        for (const MaskRun& run : c.runs)
            pixels += run.x1 - run.x0;
        EXPECT_EQ(scan.transparentPixels, pixels) << c.what;
    }
    EXPECT_TRUE(FindTransparentRuns(nullptr, 1, 8, 1, 8, 1).runs.empty());
}

} // namespace
