// Run-finding of the mask scan: which pixels of a one-bit mask see through, as horizontal runs, so
// that the Win32 side can cut them out of a control's window region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace controls {

// Pixels [x0, x1) of row y see through.
struct MaskRun {
    int y;
    int x0;
    int x1;
    bool operator==(const MaskRun&) const = default;
};

struct MaskScan {
    std::vector<MaskRun> runs;
    long transparentPixels = 0;
};

// Scans `bits` (maskHeight rows of `stride` bytes, most significant bit leftmost) over a window of
// windowWidth x windowHeight. The see-through value is the top-left pixel's. The scan stops at the
// mask's own edge when the mask is smaller than the window (the pixels beyond it stay solid), and
// never reads past a row's `stride` bytes.
MaskScan FindTransparentRuns(const uint8_t* bits, size_t stride, int maskWidth, int maskHeight, int windowWidth,
                             int windowHeight);

} // namespace controls
