// Mask run-finding (see MaskRuns.h).
#include "controls/MaskRuns.h"

#include <algorithm>

namespace controls {

MaskScan FindTransparentRuns(const uint8_t* bits, size_t stride, int maskWidth, int maskHeight, int windowWidth,
                             int windowHeight) {
    MaskScan scan;
    if (!bits || stride == 0 || maskWidth <= 0 || maskHeight <= 0)
        return scan;
    const long strideBits = static_cast<long>(std::min<size_t>(stride, 1u << 24)) * 8;
    const int width = static_cast<int>(std::min<long>({windowWidth, maskWidth, strideBits}));
    const int height = std::min(windowHeight, maskHeight);
    const bool seeThrough = (bits[0] & 0x80) != 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bits + static_cast<size_t>(y) * stride;
        int open = -1;
        for (int x = 0; x < width; ++x) {
            const bool value = (row[x >> 3] & (0x80 >> (x & 7))) != 0;
            if (value == seeThrough) {
                if (open < 0)
                    open = x;
            } else if (open >= 0) {
                scan.runs.push_back({y, open, x});
                scan.transparentPixels += x - open;
                open = -1;
            }
        }
        if (open >= 0) {
            scan.runs.push_back({y, open, width});
            scan.transparentPixels += width - open;
        }
    }
    return scan;
}

} // namespace controls
