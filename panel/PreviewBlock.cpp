// The check of the host's preview block before the panel builds a bitmap from it.
#include "panel/PreviewBlock.h"

#include <cstring>

namespace panel {

namespace {

constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kUncompressed = 0; // BI_RGB
constexpr uint32_t kPaletteEntries = 256;
constexpr uint32_t kPaletteEntryBytes = 4;

template <typename T> T At(const uint8_t* block, size_t offset) noexcept {
    T value{};
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

} // namespace

std::optional<PreviewLayout> CheckPreviewBlock(const uint8_t* block, size_t size) noexcept {
    if (!block || size < kInfoHeaderBytes)
        return std::nullopt;
    PreviewLayout layout;
    layout.headerBytes = At<uint32_t>(block, 0);
    layout.width = At<int32_t>(block, 4);
    layout.height = At<int32_t>(block, 8);
    const uint16_t planes = At<uint16_t>(block, 12);
    const uint16_t bits = At<uint16_t>(block, 14);
    const uint32_t compression = At<uint32_t>(block, 16);
    const uint32_t coloursUsed = At<uint32_t>(block, 32);

    if (layout.headerBytes < kInfoHeaderBytes || layout.headerBytes > size)
        return std::nullopt;
    if (layout.width <= 0 || layout.width > kPreviewMaxSide || layout.height == 0 ||
        layout.height < -kPreviewMaxSide || layout.height > kPreviewMaxSide)
        return std::nullopt;
    if (planes != 1 || compression != kUncompressed)
        return std::nullopt;
    if (bits == 8) {
        // The bitmap builder reads as many colours as the header announces; the block carries 256.
        if (coloursUsed != 0 && coloursUsed != kPaletteEntries)
            return std::nullopt;
        layout.paletteBytes = kPaletteEntries * kPaletteEntryBytes;
    } else if (bits == 16 || bits == 24 || bits == 32) {
        if (coloursUsed != 0)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    const uint64_t rows =
        static_cast<uint64_t>(layout.height < 0 ? -static_cast<int64_t>(layout.height) : layout.height);
    const uint64_t stride = (static_cast<uint64_t>(layout.width) * bits + 31) / 32 * 4;
    layout.pixelOffset = static_cast<uint64_t>(layout.headerBytes) + layout.paletteBytes;
    layout.pixelBytes = stride * rows;
    if (layout.pixelOffset + layout.pixelBytes > size)
        return std::nullopt;
    return layout;
}

} // namespace panel
