// Window shape from a one-bit mask: the pixels whose value differs from the mask's top-left pixel.
#pragma once

#include "platform/Handle.h"

namespace controls {

// The message shown for a mask that is not one bit per pixel and one plane.
inline constexpr char kMaskFormatMessage[] = "Format du masque incompatible.";

// Builds the region of `wnd` (its window size) from `mask`. Returns true when the scan found at least
// one see-through pixel; `region` then holds the shape (possibly empty). A mask of the wrong format
// shows kMaskFormatMessage and returns false; a missing mask returns false silently.
bool RegionFromMask(HWND wnd, HBITMAP mask, platform::UniqueRegion& region);

// Builds the region and hands it to the window (which then owns it), with a redraw. Returns the
// result of RegionFromMask; on false the window keeps its rectangular shape.
bool ApplyMaskRegion(HWND wnd, HBITMAP mask);

} // namespace controls
