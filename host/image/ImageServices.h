// Image data services behind the host's exports: de-interleaving raw panoramic lines, re-ordering a
// four-image TMJ picture, TMJ timing, and the fixed resolution and post-processing answers.
//
// Each function takes what the export receives from the host (raw pointers and ints) plus the module
// state it needs (the mirror flag, the module's panoramic shot record), checks everything it can, and
// reports whether it acted. A rejected request writes nothing: neither the image nor the record nor
// any table changes. Nothing here throws, allocates on the line path, or talks to the unit.
//
// The export (undecorated C name, x64) and the call it makes, for Lumen70_Demo.dll:
//
//   extern "C" void ReArrangement(unsigned char* destination, int pixelCount, unsigned char* source)
//       -> ReArrange(destination, pixelCount, source, app.mirror)
//   extern "C" void TraitementATM4Images(host::image::TmjImage* image, unsigned char* record)
//       -> ReorderAtm4Images(image, record)            (record: the host's 211-byte panoramic copy)
//   extern "C" int GetTiming(int ignored, int* table)
//       -> GetTiming(app.panoRecord, table, result); return result;
//   extern "C" int nCanCombineATM(int programA, int programB)
//       -> return CanCombineAtm(programA, programB);
//   extern "C" bool bPanoResolution(double* resolution)          -> GetPanoResolution(resolution)
//   extern "C" bool bPanoRealResolution(double* resolution)      -> GetPanoRealResolution(resolution)
//   extern "C" bool bCephaloRealResolution(double* resolution)   -> GetCephaloRealResolution(resolution)
//       (resolution points at two doubles, horizontal then vertical)
//   extern "C" bool bHaveToMirror(void)                          -> HaveToMirror(app.mirror)
//   extern "C" bool bPanoPostProcess(void)                       -> PostProcessWanted()
//       bCephaloPostProcess is the same function under a second name (.def: bCephaloPostProcess =
//       bPanoPostProcess).
#pragma once

#include <cstddef>
#include <cstdint>

namespace host::image {

// A raw panoramic line from the detector: 622 groups of four bytes, each group pixel A then pixel B
// (16 bits each, bytes in the order received). The arranged line holds the 622 A pixels then the 622
// B pixels, so both are 2488 bytes.
inline constexpr int kGroupsPerLine = 622;
inline constexpr int kPixelsPerLine = 2 * kGroupsPerLine;
inline constexpr std::size_t kLineBytes = 2 * kPixelsPerLine;

// Program codes of the TMJ examinations.
inline constexpr int kProgramTmj2Images = 187;
inline constexpr int kProgramTmj4Images = 188;

// The host's image descriptor, as it lays it out (x64: 24 bytes, pixels at byte 16).
struct TmjImage {
    std::int32_t width;  // pixels per line
    std::int32_t height; // lines
    std::int32_t reserved1;
    std::int32_t reserved2;
    std::uint16_t* pixels; // row after row, width pixels per row
};
static_assert(sizeof(void*) != 8 || (offsetof(TmjImage, pixels) == 16 && sizeof(TmjImage) == 24),
              "the host's descriptor layout");

// De-interleaves pixelCount / 1244 whole lines (the count is in 16-bit pixels; a partial last line
// is left alone) from source into destination. With mirror set each line comes out reversed end for
// end. Source and destination may be the same buffer or overlap: each line is then read whole
// before any of it is overwritten.
// Returns false, writing nothing, for null pointers, a count below one line, or a range that would
// run past the end of the address space.
bool ReArrange(unsigned char* destination, int pixelCount, const unsigned char* source, bool mirror);
// The size of the processor's last-level cache (0: unknown, keep the default of 32 MiB). ReArrange
// writes images larger than this straight to memory, without reading the destination in first.
void SetLastLevelCacheBytes(std::uint64_t bytes);
// Tests only: the widest vectors ReArrange may use (512, 256 or 128 bits), so that each path it
// chooses at run time can be checked on a processor that has the wider ones.
void LimitVectorBits(int bits);

// Recomposes a four-image TMJ picture in place: the images of sections 1, 2 and 3 move to the order
// 2, 3, 1 while the gaps between sections keep their widths; everything right of section 0 that is
// not an image becomes 0; the record's section table (panoramic layout) is updated to match.
// Acts only when the record's section count is 4. Returns false, changing neither image nor record,
// for null pointers, a non-positive size, a size whose byte count overflows, or sections that run
// past the line width, overlap, are out of order or could not be described in 16 bits after the move.
bool ReorderAtm4Images(TmjImage* image, unsigned char* record);

// TMJ examination timing from the section count of the module's panoramic record (signed 16-bit):
// 1, 2 or 4 sections fill that many table entries with 10 and give 300, 3000 or 90000; any other count
// fills ten entries and gives 6000. The units are the host's.
// result always receives the answer for the count (0 without a record). Returns true when the table
// was filled; a null table or record writes nothing.
bool GetTiming(const unsigned char* panoRecord, std::int32_t* table, std::int32_t& result);

// Two two-image TMJ examinations combine into a four-image one (188); anything else does not (0).
std::int32_t CanCombineAtm(std::int32_t programA, std::int32_t programB);

// Fill both doubles with the resolution; false (nothing written) for a null pointer.
bool GetPanoResolution(double* resolution);
bool GetPanoRealResolution(double* resolution);
bool GetCephaloRealResolution(double* resolution);

// The module's mirror flag, which follows the unit's rotation flag.
inline bool HaveToMirror(std::uint8_t mirrorFlag) {
    return mirrorFlag != 0;
}

// The module asks the host for no post-processing, panoramic or cephalometric.
inline bool PostProcessWanted() {
    return false;
}

} // namespace host::image
