// The demo host's phantoms, sensor lines and PNG files.
#include "demohost/DemoImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace demo {

namespace {

constexpr uint16_t kBackground = 600, kBone = 2600, kTooth = 3600, kRuler = 4000, kMark = 4095;

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift : {24, 16, 8, 0})
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

void Fill(std::vector<uint16_t>& image, int width, int x0, int y0, int x1, int y1, uint16_t value) {
    const int height = static_cast<int>(image.size()) / width;
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x1); ++x)
            image[static_cast<size_t>(y) * width + x] = value;
}

} // namespace

std::vector<uint16_t> PanoramicPhantom() {
    std::vector<uint16_t> image(static_cast<size_t>(kLinePixels) * kPhantomRows, kBackground);
    // The dental arch: a bony band along a parabola, teeth standing on it.
    const double centre = kLinePixels / 2.0;
    for (int x = 120; x < kLinePixels - 120; ++x) {
        const double u = (x - centre) / (centre - 120);
        const int archY = static_cast<int>(300 - 120 * (1 - u * u));
        Fill(image, kLinePixels, x, archY, x + 1, archY + 40, kBone);
    }
    for (int tooth = 0; tooth < 16; ++tooth) {
        const int x = 170 + tooth * 57;
        const double u = (x + 20 - centre) / (centre - 120);
        const int archY = static_cast<int>(300 - 120 * (1 - u * u));
        Fill(image, kLinePixels, x, archY - 70, x + 40, archY, kTooth);
    }
    for (int tick = kRulerFirstTick; tick < kLinePixels; tick += kRulerTickStep)
        Fill(image, kLinePixels, tick, kRulerTop, tick + kRulerTickWidth, kRulerBottom, kRuler);
    Fill(image, kLinePixels, kMarkLeft, kMarkTop, kMarkLeft + kMarkSide, kMarkTop + kMarkSide, kMark);
    return image;
}

std::vector<uint8_t> SensorLines(const std::vector<uint16_t>& image, int rows, bool reversed) {
    std::vector<uint8_t> raw(static_cast<size_t>(rows) * kLinePixels * 2);
    for (int row = 0; row < rows; ++row) {
        const uint16_t* line = image.data() + static_cast<size_t>(row) * kLinePixels;
        auto pixel = [&](int i) { return reversed ? line[kLinePixels - 1 - i] : line[i]; };
        uint8_t* out = raw.data() + static_cast<size_t>(row) * kLinePixels * 2;
        for (int j = 0; j < kGroups; ++j) {
            const uint16_t a = pixel(j), b = pixel(kGroups + j);
            out[4 * j] = static_cast<uint8_t>(a);
            out[4 * j + 1] = static_cast<uint8_t>(a >> 8);
            out[4 * j + 2] = static_cast<uint8_t>(b);
            out[4 * j + 3] = static_cast<uint8_t>(b >> 8);
        }
    }
    return raw;
}

std::vector<uint16_t> TmjPhantom(int width, int height, const int offsets[4], const int widths[4]) {
    std::vector<uint16_t> image(static_cast<size_t>(width) * height, 0);
    for (int k = 0; k < 4; ++k) {
        Fill(image, width, offsets[k], 0, offsets[k] + widths[k], height, kBackground);
        // The joint: a condyle shape, then k + 1 bars under it.
        const int cx = offsets[k] + widths[k] / 2;
        for (int y = 40; y < height / 2; ++y) {
            const double half =
                0.35 * widths[k] * std::sqrt(1.0 - std::pow((y - 40.0) / (height / 2.0 - 40), 2));
            Fill(image, width, static_cast<int>(cx - half), y, static_cast<int>(cx + half), y + 1, kBone);
        }
        for (int bar = 0; bar <= k; ++bar) {
            const int x = offsets[k] + 60 + bar * 80;
            Fill(image, width, x, height * 2 / 3, x + 40, height - 40, kRuler);
        }
    }
    return image;
}

std::vector<uint8_t> EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, static_cast<uint8_t>(channels == 3 ? 2 : 0), 0, 0, 0});
    Chunk(out, "IHDR", header);

    // Rows with filter byte 0, in stored deflate blocks of at most 65535 bytes, with the Adler-32.
    const size_t rowBytes = static_cast<size_t>(width) * channels;
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), pixels.begin() + static_cast<long>(y * rowBytes),
                   pixels.begin() + static_cast<long>((y + 1) * rowBytes));
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.insert(z.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                           static_cast<uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
        if (raw.empty())
            break;
    }
    uint32_t s1 = 1, s2 = 0;
    for (uint8_t b : raw) {
        s1 = (s1 + b) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    PutBig32(z, (s2 << 16) | s1);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", {});
    return out;
}

std::vector<uint8_t> ToGrey8(const std::vector<uint16_t>& pixels) {
    std::vector<uint8_t> grey(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i)
        grey[i] = static_cast<uint8_t>(std::min<int>(pixels[i], 4095) >> 4);
    return grey;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace demo
