// Mask run-finding under arbitrary bitmaps and sizes: the mask buffer is exactly stride x height bytes,
// so a read past it is caught; the runs must lie inside both the mask and the window, in scan order,
// and add up to the reported see-through count.
#include "controls/MaskRuns.h"

#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int maskWidth = in.ConsumeIntegralInRange<int>(-2, 300);
    const int maskHeight = in.ConsumeIntegralInRange<int>(-2, 200);
    const int windowWidth = in.ConsumeIntegralInRange<int>(-2, 300);
    const int windowHeight = in.ConsumeIntegralInRange<int>(-2, 200);
    // A stride as Windows lays rows out, or any short or long one.
    const std::size_t rowBytes = maskWidth > 0 ? (static_cast<std::size_t>(maskWidth) + 31) / 32 * 4 : 0;
    const std::size_t stride = in.ConsumeBool() ? rowBytes : in.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::size_t bytes = stride * static_cast<std::size_t>(std::max(maskHeight, 0));
    std::vector<uint8_t> bits = in.ConsumeBytes<uint8_t>(bytes);
    bits.resize(bytes, 0);
    const uint8_t* pointer = bits.empty() ? nullptr : bits.data(); // an empty mask has nothing to read

    const controls::MaskScan scan =
        controls::FindTransparentRuns(pointer, stride, maskWidth, maskHeight, windowWidth, windowHeight);
    const int width =
        std::min({maskWidth, windowWidth, static_cast<int>(std::min<std::size_t>(stride * 8, 1 << 20))});
    const int height = std::min(maskHeight, windowHeight);
    long total = 0;
    int lastY = -1, lastX1 = -1;
    for (const controls::MaskRun& run : scan.runs) {
        fuzz::Check(run.y >= 0 && run.y < height);
        fuzz::Check(run.x0 >= 0 && run.x0 < run.x1 && run.x1 <= width);
        fuzz::Check(run.y > lastY || run.x0 > lastX1);
        lastX1 = run.x1;
        lastY = run.y;
        total += run.x1 - run.x0;
    }
    fuzz::Check(total == scan.transparentPixels);
    return 0;
}
