#include "platform/GreyDib.h"

namespace platform {

HGLOBAL NewGreyDib(int width, int height, const std::function<std::uint8_t(int x, int y)>& pixel) {
    const SIZE_T stride = (static_cast<SIZE_T>(width) + 3) / 4 * 4;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) +
                                                     stride * static_cast<SIZE_T>(height));
    auto* header = block ? static_cast<BITMAPINFOHEADER*>(::GlobalLock(block)) : nullptr;
    if (!header) {
        if (block)
            ::GlobalFree(block);
        return nullptr;
    }
    *header = {};
    header->biSize = sizeof *header;
    header->biWidth = width;
    header->biHeight = -height;
    header->biPlanes = 1;
    header->biBitCount = 8;
    header->biClrUsed = 256;
    auto* palette = reinterpret_cast<RGBQUAD*>(header + 1);
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    auto* rows = reinterpret_cast<std::uint8_t*>(palette + 256);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[y * stride + x] = pixel(x, y);
    ::GlobalUnlock(block);
    return block;
}

} // namespace platform
