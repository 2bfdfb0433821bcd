// Mask to region: format check and bit fetch in GDI, runs from the portable scan, region by XOR.
#include "controls/RegionFromMask.h"

#include "controls/MaskRuns.h"

#include <vector>

namespace controls {

bool RegionFromMask(HWND wnd, HBITMAP mask, platform::UniqueRegion& region) {
    region.Reset();
    if (!wnd || !mask)
        return false;
    RECT rc{};
    ::GetWindowRect(wnd, &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;

    platform::WindowDc screen(wnd);
    platform::UniqueMemoryDc dc(::CreateCompatibleDC(screen.Get()));
    if (!dc)
        return false;
    BITMAP info{};
    if (!::GetObjectA(mask, sizeof info, &info))
        return false;
    {
        platform::SelectObjectScope select(dc.Get(), mask);
        if (info.bmBitsPixel != 1 || info.bmPlanes != 1) {
            ::MessageBoxA(wnd, kMaskFormatMessage, nullptr, MB_OK);
            return false;
        }
    }
    // GetBitmapBits: top row first, rows padded to the platform's bmWidthBytes.
    const size_t stride = static_cast<size_t>(info.bmWidthBytes);
    std::vector<uint8_t> bits(stride * static_cast<size_t>(info.bmHeight));
    if (bits.empty() || ::GetBitmapBits(mask, static_cast<LONG>(bits.size()), bits.data()) <= 0)
        return false;

    const MaskScan scan = FindTransparentRuns(bits.data(), stride, info.bmWidth, info.bmHeight, width, height);
    platform::UniqueRegion shape(::CreateRectRgn(0, 0, width, height));
    if (!shape)
        return false;
    for (const MaskRun& run : scan.runs) {
        platform::UniqueRegion piece(::CreateRectRgn(run.x0, run.y, run.x1, run.y + 1));
        ::CombineRgn(shape.Get(), shape.Get(), piece.Get(), RGN_XOR);
    }
    region = std::move(shape);
    return scan.transparentPixels > 0;
}

bool ApplyMaskRegion(HWND wnd, HBITMAP mask) {
    platform::UniqueRegion region;
    const bool ok = RegionFromMask(wnd, mask, region);
    if (region && ::SetWindowRgn(wnd, region.Get(), TRUE))
        region.Release(); // the window owns it now
    return ok;
}

} // namespace controls
