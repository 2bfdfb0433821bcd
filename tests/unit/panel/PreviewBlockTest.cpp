// The host's preview block checked before use: well-formed bitmaps of each accepted kind, and blocks
// that are truncated, lie about their size, are compressed or are not bitmaps at all.
#include "panel/PreviewBlock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Header {
    uint32_t size = 40;
    int32_t width = 0, height = 0;
    uint16_t planes = 1, bits = 8;
    uint32_t compression = 0, imageSize = 0;
    int32_t xPerMetre = 0, yPerMetre = 0;
    uint32_t used = 0, important = 0;
};
static_assert(sizeof(Header) == 40);

// A block holding the header, then `extra` bytes (palette and pixels as the caller counts them).
std::vector<uint8_t> Block(const Header& h, size_t extra) {
    std::vector<uint8_t> block(h.size >= 40 && h.size < 4096 ? h.size : 40);
    std::memcpy(block.data(), &h, sizeof h);
    block.resize(block.size() + extra, 0x5A);
    return block;
}

size_t Stride(int width, int bits) {
    return static_cast<size_t>((width * bits + 31) / 32 * 4);
}

TEST(PreviewBlock, AcceptsTheBitmapsTheHostSends) {
    const struct {
        int32_t width, height;
        uint16_t bits;
        uint32_t used, headerSize;
        uint64_t pixelOffset;
    } cases[] = {
        {505, 276, 8, 0, 40, 40 + 1024},    // grey preview with its 256 grey levels
        {505, -276, 8, 256, 40, 40 + 1024}, // top-down rows, the colour count spelt out
        {7, 5, 16, 0, 40, 40},
        {1, 1, 32, 0, 124, 124}, // a later header version: the pixels follow it
    };
    for (const auto& c : cases) {
        const Header h{c.headerSize, c.width, c.height, 1, c.bits, 0, 0, 0, 0, c.used};
        const size_t rows = static_cast<size_t>(c.height < 0 ? -c.height : c.height);
        const size_t palette = c.bits == 8 ? 1024 : 0;
        const auto block = Block(h, palette + Stride(c.width, c.bits) * rows);
        const auto layout = panel::CheckPreviewBlock(block.data(), block.size());
        ASSERT_TRUE(layout) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(layout->pixelOffset, c.pixelOffset);
        EXPECT_EQ(layout->pixelOffset + layout->pixelBytes, block.size()) << "exactly the whole block";
    }
}

TEST(PreviewBlock, RefusesMalformedBlocks) {
    Header good;
    good.width = 16;
    good.height = 4;
    const size_t goodExtra = 1024 + 16 * 4;
    struct Case {
        const char* what;
        Header header;
        size_t extra;
    };
    auto with = [&](auto change) {
        Header h = good;
        change(h);
        return h;
    };
    const Case cases[] = {
        {"one byte short of its pixels", good, goodExtra - 1},
        {"run-length compressed", with([](Header& h) { h.compression = 1; }), goodExtra},
        {"fewer colours than the palette holds", with([](Header& h) { h.used = 16; }), goodExtra},
        {"rows whose size overflows 32 bits", with([](Header& h) { h.width = 0x7FFFFFFF, h.bits = 32; }),
         goodExtra},
        {"the most negative height", with([](Header& h) { h.height = INT32_MIN; }), goodExtra},
    };
    for (const Case& c : cases) {
        const auto block = Block(c.header, c.extra);
        EXPECT_FALSE(panel::CheckPreviewBlock(block.data(), block.size())) << c.what;
    }
    EXPECT_FALSE(panel::CheckPreviewBlock(nullptr, 4096)) << "no block";
    const auto block = Block(good, goodExtra);
    EXPECT_FALSE(panel::CheckPreviewBlock(block.data(), 39)) << "shorter than a header";
}

} // namespace
