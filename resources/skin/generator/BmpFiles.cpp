// BMP and ICO encoding: little-endian headers, rows padded to four bytes, bottom-up rows.
#include "BmpFiles.h"

#include <fstream>

namespace skin {
namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;

void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, uint16_t bitCount, uint32_t imageSize,
                   uint32_t colours) {
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height)); // positive: bottom-up rows
    Put16(out, 1);
    Put16(out, bitCount);
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835); // 72 dpi, informative only
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

bool Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

uint32_t RowBytes(int width, int bitCount) { return ((static_cast<uint32_t>(width) * bitCount + 31) / 32) * 4; }

void PutRgbRows(std::vector<uint8_t>& out, const Picture& p) {
    const uint32_t stride = RowBytes(p.width, 24);
    for (int y = p.height - 1; y >= 0; --y) {
        uint32_t written = 0;
        for (int x = 0; x < p.width; ++x) {
            uint32_t c = p.pixels[static_cast<size_t>(y) * p.width + x];
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
            out.push_back(static_cast<uint8_t>(c >> 16));
            written += 3;
        }
        for (; written < stride; ++written)
            out.push_back(0);
    }
}

// One-bit rows, most significant bit leftmost; `set(x, y)` says which pixels carry bit 1.
template <typename SetBit> void PutBitRows(std::vector<uint8_t>& out, int width, int height, SetBit set) {
    const uint32_t stride = RowBytes(width, 1);
    for (int y = height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x)
            if (set(x, y))
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
}

} // namespace

bool WritePicture(const std::string& path, const Picture& p) {
    const uint32_t imageSize = RowBytes(p.width, 24) * p.height;
    std::vector<uint8_t> out;
    out.reserve(kFileHeaderSize + kInfoHeaderSize + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, kFileHeaderSize + kInfoHeaderSize + imageSize);
    Put32(out, 0);
    Put32(out, kFileHeaderSize + kInfoHeaderSize);
    PutInfoHeader(out, p.width, p.height, 24, imageSize, 0);
    PutRgbRows(out, p);
    return Save(path, out);
}

bool WriteMask(const std::string& path, const Mask& m) {
    const uint32_t imageSize = RowBytes(m.width, 1) * m.height;
    const uint32_t offset = kFileHeaderSize + kInfoHeaderSize + 8;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);
    Put32(out, offset);
    PutInfoHeader(out, m.width, m.height, 1, imageSize, 2);
    Put32(out, 0x00000000); // index 0: black, the shape
    Put32(out, 0x00FFFFFF); // index 1: white, see-through
    PutBitRows(out, m.width, m.height, [&](int x, int y) { return !m.At(x, y); });
    return Save(path, out);
}

bool WriteIcon(const std::string& path, const std::vector<Picture>& sizes) {
    std::vector<std::vector<uint8_t>> images;
    for (const Picture& p : sizes) {
        std::vector<uint8_t> img;
        const uint32_t xorSize = RowBytes(p.width, 32) * p.height;
        const uint32_t andSize = RowBytes(p.width, 1) * p.height;
        // An icon's header counts the colour and the AND rows together.
        Put32(img, kInfoHeaderSize);
        Put32(img, static_cast<uint32_t>(p.width));
        Put32(img, static_cast<uint32_t>(p.height * 2));
        Put16(img, 1);
        Put16(img, 32);
        Put32(img, 0);
        Put32(img, xorSize + andSize);
        for (int i = 0; i < 4; ++i)
            Put32(img, 0);
        for (int y = p.height - 1; y >= 0; --y)
            for (int x = 0; x < p.width; ++x)
                Put32(img, p.pixels[static_cast<size_t>(y) * p.width + x]);
        PutBitRows(img, p.width, p.height,
                   [&](int x, int y) { return (p.pixels[static_cast<size_t>(y) * p.width + x] >> 24) < 128; });
        images.push_back(std::move(img));
    }
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<uint16_t>(sizes.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        out.push_back(static_cast<uint8_t>(sizes[i].width));
        out.push_back(static_cast<uint8_t>(sizes[i].height));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& img : images)
        out.insert(out.end(), img.begin(), img.end());
    return Save(path, out);
}

} // namespace skin
