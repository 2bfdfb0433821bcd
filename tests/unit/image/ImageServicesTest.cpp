// Image data services: line de-interleaving, TMJ re-ordering, timing, and what they refuse.
#include "host/image/ImageServices.h"
#include "host/image/ShotRecordLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace host::image;
namespace rec = host::shotrecord;
using Bytes = std::vector<unsigned char>;
using Layout = std::vector<std::pair<int, int>>; // (offset, width) of each TMJ image
constexpr unsigned char kSentinel = 0xA5;

// Raw lines whose every pixel is distinct: (line, group, A or B) in 16 bits, low byte first.
Bytes RawLines(int lines) {
    Bytes raw(lines * kLineBytes);
    for (std::size_t i = 0; i < raw.size() / 2; ++i) {
        const std::size_t v = (i / kPixelsPerLine) << 11 | (i % kPixelsPerLine);
        raw[2 * i] = static_cast<unsigned char>(v);
        raw[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    return raw;
}
unsigned PixelAt(const Bytes& b, std::size_t line, int pixel) {
    return b[line * kLineBytes + 2 * pixel] | b[line * kLineBytes + 2 * pixel + 1] << 8;
}

TEST(ReArrange, EveryPixelLandsWhereTheDetectorOrderPutsIt) {
    // Each group holds pixel A then B: A fills the first half from the left, B the second; mirroring
    // reverses each half. Every vector path the processor has (widest first), on destinations at every
    // offset of a 64-byte block the wide paths align their stores on.
    for (const int bits : {512, 256, 128}) {
        for (const std::size_t offset : {0, 2, 6, 30, 62, 1}) {
            LimitVectorBits(bits);
            const Bytes raw = RawLines(3);
            alignas(64) static unsigned char arena[2][3 * kLineBytes + 64];
            unsigned char* plain = arena[0] + offset;
            unsigned char* mirrored = arena[1] + offset;
            ASSERT_TRUE(ReArrange(plain, 3 * kPixelsPerLine, raw.data(), false));
            ASSERT_TRUE(ReArrange(mirrored, 3 * kPixelsPerLine, raw.data(), true));
            LimitVectorBits(512);
            const Bytes p(plain, plain + raw.size()), m(mirrored, mirrored + raw.size());
            for (unsigned l = 0; l < 3; ++l)
                for (int j = 0; j < kGroupsPerLine; ++j) {
                    const unsigned a = l << 11 | 2 * j, b = a + 1;
                    const auto where = ::testing::Message() << bits << " bits, offset " << offset << ", line "
                                                            << l << ", group " << j;
                    ASSERT_EQ(PixelAt(p, l, j), a) << where;
                    ASSERT_EQ(PixelAt(p, l, 622 + j), b) << where;
                    ASSERT_EQ(PixelAt(m, l, 1243 - j), a) << where;
                    ASSERT_EQ(PixelAt(m, l, 621 - j), b) << where;
                }
        }
    }
}

TEST(ReArrange, ImagesBeyondTheCacheComeOutAsFromTheBaselinePath) {
    // Large images take the aligned-store variant of the wide paths.
    constexpr int kLines = 450; // 1.1 MB
    const Bytes raw = RawLines(kLines);
    for (const bool mirror : {false, true}) {
        LimitVectorBits(128);
        Bytes expected(raw.size());
        ASSERT_TRUE(ReArrange(expected.data(), kLines * kPixelsPerLine, raw.data(), mirror));
        // A last-level cache below the image's size has it streamed to memory.
        for (const auto& [bits, cacheBytes] : {std::pair{512, 1 << 20}, {512, 64 << 20}, {256, 64 << 20}})
            for (const std::size_t offset : {0, 1, 2, 30, 62}) {
                LimitVectorBits(bits);
                SetLastLevelCacheBytes(cacheBytes);
                Bytes out(raw.size() + 64, kSentinel);
                ASSERT_TRUE(ReArrange(out.data() + offset, kLines * kPixelsPerLine, raw.data(), mirror));
                EXPECT_EQ(0, std::memcmp(out.data() + offset, expected.data(), expected.size()))
                    << bits << " bits, cache " << cacheBytes << ", offset " << offset << ", mirror "
                    << mirror;
                if (offset) {
                    EXPECT_EQ(out[offset - 1], kSentinel);
                }
                EXPECT_EQ(out[offset + raw.size()], kSentinel);
            }
        // In place, streamed: each line is staged before the streamed stores overwrite it.
        SetLastLevelCacheBytes(1 << 20);
        Bytes inPlace = raw;
        ASSERT_TRUE(ReArrange(inPlace.data(), kLines * kPixelsPerLine, inPlace.data(), mirror));
        EXPECT_EQ(inPlace, expected) << "in place, mirror " << mirror;
    }
    LimitVectorBits(512);
    SetLastLevelCacheBytes(32 << 20);
}

TEST(ReArrange, ArrangesWholeLinesOnlyInPlaceOrOverlappingAndRefusesTheRest) {
    const Bytes raw = RawLines(4);
    const std::pair<int, std::size_t> cases[] = {{2487, kLineBytes}, {1243, 0}, {-1, 0}, {INT_MIN, 0}};
    for (const auto& [pixelCount, written] : cases) {
        Bytes out(raw.size() + 16, kSentinel);
        EXPECT_EQ(ReArrange(out.data(), pixelCount, raw.data(), false), written > 0);
        EXPECT_EQ(Bytes(out.begin() + written, out.end()), Bytes(out.size() - written, kSentinel))
            << "n = " << pixelCount;
    }
    EXPECT_FALSE(ReArrange(nullptr, kPixelsPerLine, raw.data(), false));
    for (bool mirror : {false, true}) {
        Bytes expected(raw.size());
        ASSERT_TRUE(ReArrange(expected.data(), 4 * kPixelsPerLine, raw.data(), mirror));
        // Destination at, before and after the source, by less than a line and by more.
        for (std::ptrdiff_t shift : {0, -1000, 3000}) {
            Bytes arena(raw.size() + 8000);
            unsigned char* source = std::copy(raw.begin(), raw.end(), arena.data() + 4000) - raw.size();
            ASSERT_TRUE(ReArrange(source + shift, 4 * kPixelsPerLine, source, mirror));
            EXPECT_EQ(0, std::memcmp(source + shift, expected.data(), expected.size())) << "shift " << shift;
        }
    }
}

// A TMJ picture whose pixels are non-zero and tell their place, and a record holding its layout.
struct Tmj {
    std::vector<std::uint16_t> pixels;
    TmjImage image;
    Bytes record = Bytes(rec::pano::kSize, kSentinel);

    Tmj(int width, int height, const Layout& sections)
        : pixels(width * height), image{width, height, 0, 0, pixels.data()} {
        for (int i = 0; i < width * height; ++i)
            pixels[i] = Original(i / width, i % width);
        rec::StoreU16(record.data(), rec::pano::kSectionCount, static_cast<std::uint16_t>(sections.size()));
        for (std::size_t k = 0; k < sections.size(); ++k) {
            rec::StoreU16(record.data(), rec::pano::SectionOffset(k), sections[k].first);
            rec::StoreU16(record.data(), rec::pano::SectionWidth(k), sections[k].second);
        }
    }
    static std::uint16_t Original(int y, int x) { return static_cast<std::uint16_t>(1 + x + 4000 * y); }
};

TEST(ReorderAtm4Images, ImagesMoveToOrderTwoThreeOneAndTheGapsBecomeZero) {
    // Image 0 at 2..6, then 10..16, 20..22 and 30..38, which ends the line.
    Tmj t(39, 3, {{2, 5}, {10, 7}, {20, 3}, {30, 9}});
    ASSERT_TRUE(ReorderAtm4Images(&t.image, t.record.data()));

    Tmj want(39, 3, {{2, 5}, {10, 3}, {16, 9}, {32, 7}});
    EXPECT_EQ(t.record, want.record);
    for (int y = 0; y < 3; ++y) {
        std::uint16_t* line = &want.pixels[39 * y];
        std::fill(line + 7, line + 39, 0);
        for (const auto [to, from, count] : {std::array{10, 20, 3}, {16, 30, 9}, {32, 10, 7}})
            for (int i = 0; i < count; ++i)
                line[to + i] = Tmj::Original(y, from + i);
    }
    EXPECT_EQ(t.pixels, want.pixels);
}

TEST(ReorderAtm4Images, InvalidRequestsChangeNeitherImageNorRecord) {
    const Layout standard = {{0, 836}, {886, 836}, {1772, 836}, {2658, 836}};
    const std::tuple<const char*, int, int, Layout> cases[] = {
        {"two sections", 3500, 2, {{0, 836}, {886, 836}}},
        {"overlapping images", 60, 2, {{0, 10}, {5, 10}, {20, 5}, {30, 5}}},
        // Pixel counts past the host's 32-bit count are refused before any pixel is read. Arbitrary
        // images and records are left to the fuzzer.
        {"INT_MAX squared", INT_MAX, INT_MAX, standard},
        {"no record", 3500, 1, standard},
    };
    for (const auto& [what, width, height, sections] : cases) {
        Tmj t(std::clamp(width, 1, 70000), std::clamp(height, 1, 2), sections);
        const Tmj before = t;
        t.image.width = width;
        t.image.height = height;
        const bool noRecord = std::string(what) == "no record";
        EXPECT_FALSE(ReorderAtm4Images(&t.image, noRecord ? nullptr : t.record.data())) << what;
        EXPECT_EQ(t.pixels, before.pixels) << what;
        EXPECT_EQ(t.record, before.record) << what;
    }
    EXPECT_FALSE(ReorderAtm4Images(nullptr, Tmj(1, 1, standard).record.data()));
}

TEST(GetTiming, FillsOneEntryPerImageAndTenOtherwise) {
    const std::tuple<std::uint16_t, int, std::int32_t> cases[] = {
        {1, 1, 300}, {2, 2, 3000}, {4, 4, 90000}, {0, 10, 6000}, {3, 10, 6000}, {0x8004, 10, 6000}};
    for (const auto& [sections, entries, answer] : cases) {
        Bytes record(rec::pano::kSize, 0);
        rec::StoreU16(record.data(), rec::pano::kSectionCount, sections);
        std::vector<std::int32_t> table(12, -7), expected(12, -7);
        std::fill_n(expected.begin(), entries, 10);
        std::int32_t result = -1;
        EXPECT_TRUE(GetTiming(record.data(), table.data(), result));
        EXPECT_EQ(result, answer) << "sections " << sections;
        EXPECT_EQ(table, expected) << "sections " << sections;

        result = -1;
        EXPECT_FALSE(GetTiming(record.data(), nullptr, result));
        EXPECT_EQ(result, answer) << "the host still gets its answer without a table";
    }
}

} // namespace
