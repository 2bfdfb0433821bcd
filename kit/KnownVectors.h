// What the host expects of the module, written down independently of the module's sources: the byte
// layout of the two shot records, raw panoramic lines with their arranged form, and four-image TMJ
// pictures with their re-ordered form. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kit {

// ---- Shot records: sizes and field offsets the host reads -------------------------------------------
inline constexpr std::size_t kPanoRecordSize = 211;
inline constexpr std::size_t kCephRecordSize = 293;

namespace pano {
inline constexpr std::size_t kProgramCode = 0, kProgramName = 2, kProgramNameSize = 30, kNox = 32, kKv = 33,
                             kMa = 37, kTime = 41, kRefreshed = 45, kSectionCount = 49, kDose1 = 91,
                             kDose2 = 95, kDoseKind = 99, kDisplayResolution = 103, kRealResolution = 119;
constexpr std::size_t SectionOffset(int k) {
    return 51 + 4 * static_cast<std::size_t>(k);
}
constexpr std::size_t SectionWidth(int k) {
    return 53 + 4 * static_cast<std::size_t>(k);
}
} // namespace pano

namespace ceph {
inline constexpr std::size_t kProgramCode = 0, kKv = 32, kMa = 36, kTime = 40, kRefreshed = 44,
                             kObliqueAngle = 48, kDose1 = 50, kDose2 = 54, kDoseKind = 58,
                             kRealResolution = 196;
} // namespace ceph

// The only bytes GetExpositionTime may change in the host's panoramic record: time, both doses and the
// dose kind.
bool ExpositionTimeMayWrite(std::size_t offset);

inline constexpr double kPanoDisplayResolution = 0.08188976377952756; // 0.104 / 1.27
inline constexpr double kPanoRealResolution = 0.104;
inline constexpr double kCephaloRealResolution = 0.13;

// Little-endian reads of unaligned fields.
std::uint16_t U16At(const std::uint8_t* bytes, std::size_t at);
std::uint32_t U32At(const std::uint8_t* bytes, std::size_t at);
float F32At(const std::uint8_t* bytes, std::size_t at);
double F64At(const std::uint8_t* bytes, std::size_t at);
void PutU16(std::uint8_t* bytes, std::size_t at, std::uint16_t value);

// Highest index where two buffers differ, or -1 when they are equal over n bytes.
long LastDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);
long FirstDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);

// ---- Raw panoramic lines --------------------------------------------------------------------------
inline constexpr int kGroupsPerLine = 622;
inline constexpr int kPixelsPerLine = 2 * kGroupsPerLine;
inline constexpr std::size_t kLineBytes = 2 * kPixelsPerLine;

// `lines` raw detector lines: group j of line L holds pixel A = 0x1000 (L + 1) + j and B = A + 0x0800,
// low byte first, so every pixel of the run is distinct and a swapped byte shows; the first group of
// the first line is the bytes 01 02 03 04.
std::vector<std::uint8_t> RawLines(int lines);
// The arranged form: per line the A pixels then the B pixels; mirrored, the line reversed end for end.
std::vector<std::uint8_t> ArrangedLines(const std::vector<std::uint8_t>& raw, int lines, bool mirror);

// ---- Four-image TMJ pictures ----------------------------------------------------------------------
struct Sections {
    int offset[4];
    int width[4];
};
// A picture of width x height: section k holds 0x1000 (k + 1) + (column within the section + row) % 0x1000,
// every other column 0xEEEE.
std::vector<std::uint16_t> TmjPicture(int width, int height, const Sections& s);
// The re-ordered picture and section table: the images of sections 1, 2, 3 move to the order 2, 3, 1,
// the gaps keep their widths, and everything right of section 0 that is not an image is 0.
std::vector<std::uint16_t> ReorderedTmjPicture(int width, int height, const Sections& s);
Sections ReorderedSections(const Sections& s);

} // namespace kit
