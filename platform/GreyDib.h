// An 8-bit grey preview as a host hands one to the module while it acquires: a top-down DIB (header,
// 256 grey palette entries, rows padded to four bytes) in a movable global block.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace platform {

// The caller owns the block (GlobalFree); null when it could not be allocated.
HGLOBAL NewGreyDib(int width, int height, const std::function<std::uint8_t(int x, int y)>& pixel);

} // namespace platform
