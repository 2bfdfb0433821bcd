// The preview block a host hands the panel, as arbitrary bytes: whatever the check accepts lies within
// the block, and reading it never goes beyond (the sanitizers watch the reads).
#include "panel/PreviewBlock.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the block's size, so any read past it is caught.
    std::vector<uint8_t> block(data, data + size);
    if (const auto layout = panel::CheckPreviewBlock(block.data(), block.size())) {
        if (layout->pixelOffset + layout->pixelBytes > size)
            std::abort();
        volatile uint8_t last = block[layout->pixelOffset + layout->pixelBytes - 1];
        (void)last;
    }
    return 0;
}
