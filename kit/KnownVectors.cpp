// Known vectors of the host contract: record layout, panoramic lines, TMJ pictures.
#include "kit/KnownVectors.h"

#include <cstring>

namespace kit {

bool ExpositionTimeMayWrite(std::size_t offset) {
    return (offset >= pano::kTime && offset < pano::kTime + 4) ||
           (offset >= pano::kDose1 && offset < pano::kDoseKind + 4);
}

std::uint16_t U16At(const std::uint8_t* bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
std::uint32_t U32At(const std::uint8_t* bytes, std::size_t at) {
    return static_cast<std::uint32_t>(U16At(bytes, at)) | static_cast<std::uint32_t>(U16At(bytes, at + 2))
                                                              << 16;
}
float F32At(const std::uint8_t* bytes, std::size_t at) {
    const std::uint32_t bits = U32At(bytes, at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
double F64At(const std::uint8_t* bytes, std::size_t at) {
    const std::uint64_t bits = U32At(bytes, at) | static_cast<std::uint64_t>(U32At(bytes, at + 4)) << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
void PutU16(std::uint8_t* bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

long LastDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    for (std::size_t i = n; i-- > 0;)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return -1;
}
long FirstDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return -1;
}

std::vector<std::uint8_t> RawLines(int lines) {
    std::vector<std::uint8_t> raw(kLineBytes * static_cast<std::size_t>(lines));
    for (int line = 0; line < lines; ++line)
        for (int j = 0; j < kGroupsPerLine; ++j) {
            const auto a = static_cast<std::uint16_t>(0x1000 * (line + 1) + j);
            const std::size_t at = kLineBytes * line + 4 * static_cast<std::size_t>(j);
            PutU16(raw.data(), at, a);
            PutU16(raw.data(), at + 2, static_cast<std::uint16_t>(a + 0x0800));
        }
    if (lines > 0) {
        const std::uint8_t first[4] = {0x01, 0x02, 0x03, 0x04};
        std::memcpy(raw.data(), first, sizeof first);
    }
    return raw;
}

std::vector<std::uint8_t> ArrangedLines(const std::vector<std::uint8_t>& raw, int lines, bool mirror) {
    std::vector<std::uint8_t> out(kLineBytes * static_cast<std::size_t>(lines));
    for (int line = 0; line < lines; ++line) {
        const std::uint8_t* in = raw.data() + kLineBytes * line;
        std::uint8_t* to = out.data() + kLineBytes * line;
        for (int j = 0; j < kGroupsPerLine; ++j) {
            const int a = mirror ? kPixelsPerLine - 1 - j : j;
            const int b = mirror ? kGroupsPerLine - 1 - j : kGroupsPerLine + j;
            std::memcpy(to + 2 * a, in + 4 * j, 2);
            std::memcpy(to + 2 * b, in + 4 * j + 2, 2);
        }
    }
    return out;
}

namespace {
constexpr std::uint16_t kGap = 0xEEEE;
std::uint16_t SectionPixel(int k, int column, int row) {
    return static_cast<std::uint16_t>(0x1000 * (k + 1) + (column + row) % 0x1000);
}
} // namespace

std::vector<std::uint16_t> TmjPicture(int width, int height, const Sections& s) {
    std::vector<std::uint16_t> picture(static_cast<std::size_t>(width) * height, kGap);
    for (int row = 0; row < height; ++row)
        for (int k = 0; k < 4; ++k)
            for (int c = 0; c < s.width[k]; ++c)
                picture[static_cast<std::size_t>(row) * width + s.offset[k] + c] = SectionPixel(k, c, row);
    return picture;
}

Sections ReorderedSections(const Sections& s) {
    Sections r = s;
    r.width[1] = s.width[2];
    r.offset[2] = s.offset[2] - s.width[1] + s.width[2];
    r.width[2] = s.width[3];
    r.offset[3] = s.offset[3] - s.width[1] + s.width[3];
    r.width[3] = s.width[1];
    return r;
}

std::vector<std::uint16_t> ReorderedTmjPicture(int width, int height, const Sections& s) {
    const Sections r = ReorderedSections(s);
    const int movedFrom[4] = {0, 2, 3, 1}; // the image each new section holds
    std::vector<std::uint16_t> picture(static_cast<std::size_t>(width) * height, 0);
    for (int row = 0; row < height; ++row) {
        std::uint16_t* line = picture.data() + static_cast<std::size_t>(row) * width;
        for (int c = 0; c < s.offset[0]; ++c)
            line[c] = kGap;
        for (int k = 0; k < 4; ++k)
            for (int c = 0; c < r.width[k]; ++c)
                line[r.offset[k] + c] = SectionPixel(movedFrom[k], c, row);
    }
    return picture;
}

} // namespace kit
