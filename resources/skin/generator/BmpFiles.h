// Writers for the skin's files as the resource compiler and the platform expect them: 24-bit
// bottom-up DIBs for pictures, 1-bit DIBs for masks, and a two-size icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skin {

// An opaque picture, 0x00RRGGBB per pixel, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// A mask, top row first: true where the shape is (written as bit 0, black), false where what lies
// behind shows through (bit 1, white).
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<bool> shape;
    bool At(int x, int y) const { return shape[static_cast<size_t>(y) * width + x]; }
};

bool WritePicture(const std::string& path, const Picture& picture);
bool WriteMask(const std::string& path, const Mask& mask);
// ARGB (premultiplied or not: alpha only decides the AND mask) pictures of 32 and 16 pixels.
bool WriteIcon(const std::string& path, const std::vector<Picture>& sizesArgb);

} // namespace skin
