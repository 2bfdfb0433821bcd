// Image data services: line de-interleaving, TMJ re-ordering, timing, and what they refuse.
#include "host/image/ImageServices.h"
#include "host/image/ShotRecordLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace {

using namespace host::image;
namespace rec = host::shotrecord;
using Bytes = std::vector<unsigned char>;
constexpr unsigned char kSentinel = 0xA5;

// Raw lines whose every pixel is distinct: (line, group, A or B) packed into 16 bits, low byte first.
Bytes RawLines(int lines) {
    Bytes raw(lines * kLineBytes);
    for (int l = 0; l < lines; ++l)
        for (int j = 0; j < kGroupsPerLine; ++j)
            for (int half = 0; half < 2; ++half) {
                const unsigned v = (l << 11) | (j << 1) | half;
                raw[l * kLineBytes + 4 * j + 2 * half] = static_cast<unsigned char>(v);
                raw[l * kLineBytes + 4 * j + 2 * half + 1] = static_cast<unsigned char>(v >> 8);
            }
    return raw;
}
unsigned PixelAt(const Bytes& b, std::size_t line, int pixel) {
    return b[line * kLineBytes + 2 * pixel] | b[line * kLineBytes + 2 * pixel + 1] << 8;
}

TEST(ReArrange, FirstGroupLandsWhereTheDetectorOrderPutsIt) {
    Bytes raw(kLineBytes, 0), out(kLineBytes, kSentinel);
    const unsigned char group[] = {0x01, 0x02, 0x03, 0x04};
    std::memcpy(raw.data(), group, 4);

    ASSERT_TRUE(ReArrange(out.data(), kPixelsPerLine, raw.data(), false));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 2), (Bytes{0x01, 0x02}));
    EXPECT_EQ(Bytes(out.begin() + 2 * 622, out.begin() + 2 * 622 + 2), (Bytes{0x03, 0x04}));

    ASSERT_TRUE(ReArrange(out.data(), kPixelsPerLine, raw.data(), true));
    EXPECT_EQ(Bytes(out.begin() + 2 * 1243, out.begin() + 2 * 1243 + 2), (Bytes{0x01, 0x02}));
    EXPECT_EQ(Bytes(out.begin() + 2 * 621, out.begin() + 2 * 621 + 2), (Bytes{0x03, 0x04}));
}

TEST(ReArrange, EveryPixelOfEveryLineGoesToItsPlace) {
    const int lines = 3;
    const Bytes raw = RawLines(lines);
    Bytes plain(raw.size()), mirrored(raw.size());
    ASSERT_TRUE(ReArrange(plain.data(), lines * kPixelsPerLine, raw.data(), false));
    ASSERT_TRUE(ReArrange(mirrored.data(), lines * kPixelsPerLine, raw.data(), true));
    for (unsigned l = 0; l < lines; ++l)
        for (int j = 0; j < kGroupsPerLine; ++j) {
            const unsigned a = (l << 11) | (j << 1), b = a | 1;
            ASSERT_EQ(PixelAt(plain, l, j), a) << "line " << l << " group " << j;
            ASSERT_EQ(PixelAt(plain, l, 622 + j), b) << "line " << l << " group " << j;
            ASSERT_EQ(PixelAt(mirrored, l, 1243 - j), a) << "line " << l << " group " << j;
            ASSERT_EQ(PixelAt(mirrored, l, 621 - j), b) << "line " << l << " group " << j;
        }
}

TEST(ReArrange, ArrangesWholeLinesOnlyAndRefusesTheRest) {
    const Bytes raw = RawLines(2);
    struct Case {
        int pixelCount;
        std::size_t bytesWritten;
    };
    for (const Case c : {Case{2487, kLineBytes}, Case{1243, 0}, Case{0, 0}, Case{-1244, 0}, Case{-1, 0},
                         Case{INT_MIN, 0}, Case{2 * 1244 + 5, 2 * kLineBytes}}) {
        Bytes out(raw.size() + 16, kSentinel);
        EXPECT_EQ(ReArrange(out.data(), c.pixelCount, raw.data(), false), c.bytesWritten > 0);
        for (std::size_t i = c.bytesWritten; i < out.size(); ++i) {
            ASSERT_EQ(out[i], kSentinel) << "n = " << c.pixelCount << ", byte " << i;
        }
        if (c.bytesWritten > 0) {
            EXPECT_EQ(PixelAt(out, 0, 622), 1u);
        }
    }

    Bytes out(kLineBytes, kSentinel);
    EXPECT_FALSE(ReArrange(nullptr, kPixelsPerLine, raw.data(), false));
    EXPECT_FALSE(ReArrange(out.data(), kPixelsPerLine, nullptr, true));
    EXPECT_EQ(out, Bytes(kLineBytes, kSentinel));
}

TEST(ReArrange, InPlaceAndOverlappingBuffersGiveTheSameResultAsSeparateOnes) {
    const int lines = 4;
    const Bytes raw = RawLines(lines);
    for (bool mirror : {false, true}) {
        Bytes expected(raw.size());
        ASSERT_TRUE(ReArrange(expected.data(), lines * kPixelsPerLine, raw.data(), mirror));
        // Destination at, before and after the source, by less than a line and by more.
        for (std::ptrdiff_t shift : {0, -1000, 1000, -3000, 3000}) {
            Bytes arena(raw.size() + 8000, 0);
            unsigned char* source = arena.data() + 4000;
            std::memcpy(source, raw.data(), raw.size());
            ASSERT_TRUE(ReArrange(source + shift, lines * kPixelsPerLine, source, mirror));
            EXPECT_EQ(0, std::memcmp(source + shift, expected.data(), expected.size()))
                << "shift " << shift << (mirror ? " mirrored" : "");
        }
    }
}

// A TMJ picture whose pixels are all non-zero and tell their place, and a record holding its layout.
struct Tmj {
    std::vector<std::uint16_t> pixels;
    TmjImage image{};
    Bytes record = Bytes(rec::pano::kSize, kSentinel);

    Tmj(int width, int height, const std::vector<std::pair<int, int>>& sections) : pixels(width * height) {
        for (int i = 0; i < width * height; ++i)
            pixels[i] = static_cast<std::uint16_t>(1 + i % width + 4000 * (i / width));
        image = {width, height, 0, 0, pixels.data()};
        rec::StoreU16(record.data(), rec::pano::kSectionCount, static_cast<std::uint16_t>(sections.size()));
        for (std::size_t k = 0; k < sections.size(); ++k) {
            rec::StoreU16(record.data(), rec::pano::SectionOffset(k), sections[k].first);
            rec::StoreU16(record.data(), rec::pano::SectionWidth(k), sections[k].second);
        }
    }
    std::uint16_t Original(int y, int x) const { return static_cast<std::uint16_t>(1 + x + 4000 * y); }
    std::pair<int, int> Section(std::size_t k) const {
        return {rec::LoadU16(record.data(), rec::pano::SectionOffset(k)),
                rec::LoadU16(record.data(), rec::pano::SectionWidth(k))};
    }
};

TEST(ReorderAtm4Images, UnequalImagesMoveToOrderTwoThreeOneAndTheGapsBecomeZero) {
    // Image 0 at 2..6, then 10..16, 20..22 and 30..38 in a line of 60 pixels.
    Tmj t(60, 3, {{2, 5}, {10, 7}, {20, 3}, {30, 9}});
    ASSERT_TRUE(ReorderAtm4Images(&t.image, t.record.data()));

    EXPECT_EQ(t.Section(0), std::make_pair(2, 5));
    EXPECT_EQ(t.Section(1), std::make_pair(10, 3));
    EXPECT_EQ(t.Section(2), std::make_pair(16, 9));
    EXPECT_EQ(t.Section(3), std::make_pair(32, 7));
    EXPECT_EQ(t.record[0], kSentinel);
    EXPECT_EQ(t.record[rec::pano::SectionWidth(3) + 2], kSentinel);

    for (int y = 0; y < 3; ++y) {
        std::vector<std::uint16_t> expected(60, 0);
        auto place = [&](int to, int from, int count) {
            for (int i = 0; i < count; ++i)
                expected[to + i] = t.Original(y, from + i);
        };
        place(0, 0, 7);   // left margin and image 0 unchanged
        place(10, 20, 3); // old image 2
        place(16, 30, 9); // old image 3
        place(32, 10, 7); // old image 1
        const std::vector<std::uint16_t> line(t.pixels.begin() + 60 * y, t.pixels.begin() + 60 * (y + 1));
        EXPECT_EQ(line, expected) << "line " << y;
    }
}

TEST(ReorderAtm4Images, EqualImagesKeepTheirLayoutWhileTheContentRotates) {
    Tmj t(3500, 2, {{0, 836}, {886, 836}, {1772, 836}, {2658, 836}});
    const Bytes layoutBefore = t.record;
    ASSERT_TRUE(ReorderAtm4Images(&t.image, t.record.data()));
    EXPECT_EQ(t.record, layoutBefore);
    for (int y = 0; y < 2; ++y) {
        const std::uint16_t* line = &t.pixels[3500 * y];
        EXPECT_EQ(line[835], t.Original(y, 835));
        EXPECT_EQ(line[836], 0);
        EXPECT_EQ(line[885], 0);
        EXPECT_EQ(line[886], t.Original(y, 1772));
        EXPECT_EQ(line[1772 + 835], t.Original(y, 2658 + 835));
        EXPECT_EQ(line[2658], t.Original(y, 886));
        EXPECT_EQ(line[3494], 0);
        EXPECT_EQ(line[3499], 0);
    }
}

TEST(ReorderAtm4Images, InvalidRequestsChangeNeitherImageNorRecord) {
    const std::vector<std::pair<int, int>> standard = {{0, 836}, {886, 836}, {1772, 836}, {2658, 836}};
    struct Case {
        const char* what;
        int width, height;
        std::vector<std::pair<int, int>> sections;
    };
    const Case cases[] = {
        {"two sections", 3500, 2, {{0, 836}, {886, 836}}},
        {"last image past a 3344-pixel line", 3344, 2, standard},
        {"overlapping images", 60, 2, {{0, 10}, {5, 10}, {20, 5}, {30, 5}}},
        {"images out of order", 60, 2, {{0, 5}, {30, 5}, {20, 5}, {40, 5}}},
        {"beyond 16-bit columns after the move", 70000, 1, {{0, 1}, {2, 1}, {4, 1}, {65000, 1000}}},
        {"zero width", 0, 2, standard},
        {"negative height", 3500, -2, standard},
    };
    for (const Case& c : cases) {
        Tmj t(std::max(c.width, 1), std::max(c.height, 1), c.sections);
        t.image.width = c.width;
        t.image.height = c.height;
        const Tmj before = t;
        EXPECT_FALSE(ReorderAtm4Images(&t.image, t.record.data())) << c.what;
        EXPECT_EQ(t.pixels, before.pixels) << c.what;
        EXPECT_EQ(t.record, before.record) << c.what;
    }

    Tmj t(3500, 1, standard);
    const Tmj before = t;
    EXPECT_FALSE(ReorderAtm4Images(nullptr, t.record.data()));
    EXPECT_FALSE(ReorderAtm4Images(&t.image, nullptr));
    TmjImage noPixels{3500, 1, 0, 0, nullptr};
    EXPECT_FALSE(ReorderAtm4Images(&noPixels, t.record.data()));
    // Sizes whose pixel count overflows the host's 32-bit count are refused before any pixel is read.
    for (TmjImage huge :
         {TmjImage{INT_MAX, INT_MAX, 0, 0, t.pixels.data()}, TmjImage{65536, 32768, 0, 0, t.pixels.data()}})
        EXPECT_FALSE(ReorderAtm4Images(&huge, t.record.data())) << huge.width << " x " << huge.height;
    EXPECT_EQ(t.pixels, before.pixels);
    EXPECT_EQ(t.record, before.record);
}

TEST(GetTiming, FillsOneEntryPerImageAndTenOtherwise) {
    struct Case {
        std::uint16_t sections;
        int entries;
        std::int32_t result;
    };
    for (const Case c : {Case{1, 1, 300}, Case{2, 2, 3000}, Case{4, 4, 90000}, Case{0, 10, 6000},
                         Case{3, 10, 6000}, Case{0xFFFF, 10, 6000}, Case{0x8004, 10, 6000}}) {
        Bytes record(rec::pano::kSize, 0);
        rec::StoreU16(record.data(), rec::pano::kSectionCount, c.sections);
        std::vector<std::int32_t> table(12, -7);
        std::int32_t result = -1;
        EXPECT_TRUE(GetTiming(record.data(), table.data(), result));
        EXPECT_EQ(result, c.result) << "sections " << c.sections;
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(table[i], i < c.entries ? 10 : -7) << "sections " << c.sections << ", entry " << i;
    }

    Bytes record(rec::pano::kSize, 0);
    rec::StoreU16(record.data(), rec::pano::kSectionCount, 4);
    std::int32_t result = -1;
    EXPECT_FALSE(GetTiming(record.data(), nullptr, result));
    EXPECT_EQ(result, 90000);
    std::vector<std::int32_t> table(12, -7);
    EXPECT_FALSE(GetTiming(nullptr, table.data(), result));
    EXPECT_EQ(table, std::vector<std::int32_t>(12, -7));
}

TEST(FixedAnswers, CombinationAndResolutions) {
    EXPECT_EQ(CanCombineAtm(187, 187), 188);
    EXPECT_EQ(CanCombineAtm(187, 188), 0);
    EXPECT_EQ(CanCombineAtm(188, 187), 0);
    EXPECT_EQ(CanCombineAtm(188, 188), 0);

    double pano[3] = {-1, -1, -1}, real[2], ceph[2];
    ASSERT_TRUE(GetPanoResolution(pano));
    ASSERT_TRUE(GetPanoRealResolution(real));
    ASSERT_TRUE(GetCephaloRealResolution(ceph));
    EXPECT_EQ(pano[0], pano[1]);
    EXPECT_EQ(pano[2], -1);
    EXPECT_DOUBLE_EQ(pano[0], 0.104 / 1.27); // the panoramic projection magnifies by 1.27
    EXPECT_EQ(real[0], 0.104);
    EXPECT_EQ(real[1], 0.104);
    EXPECT_EQ(ceph[0], 0.13);
    EXPECT_EQ(ceph[1], 0.13);
    EXPECT_FALSE(GetPanoResolution(nullptr));
}

} // namespace
