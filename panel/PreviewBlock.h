// The preview image the host hands the panel (message 0x65A): a packed device-independent bitmap in a
// memory block of another program. Before any of it is used, its header is checked against the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace panel {

// Where the parts of a checked packed bitmap lie in its block.
struct PreviewLayout {
    uint32_t headerBytes = 0;  // the header's own size field
    uint32_t paletteBytes = 0; // 1024 for 8 bits per pixel, else 0
    uint64_t pixelOffset = 0;  // header plus palette
    uint64_t pixelBytes = 0;   // whole rows, each padded to 4 bytes
    int32_t width = 0;
    int32_t height = 0; // negative: top-down rows
};

// The largest preview side the panel accepts: far beyond its 505 x 276 preview area.
inline constexpr int32_t kPreviewMaxSide = 16384;

// Checks a block of `size` bytes that should hold an information header (40 bytes or a larger later
// version), a 256-entry colour table when the bit count is 8, then the pixels. Accepted: one plane,
// uncompressed, 8, 16, 24 or 32 bits per pixel, a non-zero width and height of at most 16384, and a
// colour-entry count that matches the layout (0 or 256 for 8 bits, 0 otherwise), all within the block.
// Nothing when the block is not such a bitmap; `block` may be null (then nothing).
std::optional<PreviewLayout> CheckPreviewBlock(const uint8_t* block, size_t size) noexcept;

} // namespace panel
