// Byte layout of the two shot records handed to the host after an exposure, and the little-endian
// accessors that read and write their unaligned fields. The offsets are an interface with the host's
// stored data: never reorder, never pad.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace host::shotrecord {

// Panoramic record (211 bytes).
namespace pano {
inline constexpr std::size_t kSize = 211;
inline constexpr std::size_t kProgramCode = 0;      // u16, 180 to 201
inline constexpr std::size_t kProgramName = 2;      // zero-padded text
inline constexpr std::size_t kProgramNameSize = 30; // at most 29 characters and a zero
inline constexpr std::size_t kNoxState = 32;        // u8, low byte of the selection's NOX word
inline constexpr std::size_t kKv = 33;              // f32
inline constexpr std::size_t kMa = 37;              // f32
inline constexpr std::size_t kExposureTime = 41;    // f32, seconds
inline constexpr std::size_t kRefreshed = 45;       // u32, 1 after every refresh
inline constexpr std::size_t kSectionCount = 49;    // u16, 1, 2 or 4 image sections
inline constexpr std::size_t kMaxSections = 4;
inline constexpr std::size_t kSectionStride = 4;
// u16 column offset and u16 width, in pixels, of image section k (0 to 3).
constexpr std::size_t SectionOffset(std::size_t k) {
    return 51 + kSectionStride * k;
}
constexpr std::size_t SectionWidth(std::size_t k) {
    return 53 + kSectionStride * k;
}
// Bytes 67 to 90 are written by nobody.
inline constexpr std::size_t kDose1 = 91;              // f32
inline constexpr std::size_t kDose2 = 95;              // f32
inline constexpr std::size_t kDoseKind = 99;           // u32, see DoseKind
inline constexpr std::size_t kDisplayResolution = 103; // 2 x f64, only in the host's copy
inline constexpr std::size_t kRealResolution = 119;    // 2 x f64, only in the host's copy
// Bytes 135 to 210 are written by nobody.
} // namespace pano

// Cephalometric record (293 bytes); it has no name field (the name goes into the panoramic record).
namespace ceph {
inline constexpr std::size_t kSize = 293;
inline constexpr std::size_t kProgramCode = 0;      // u16, 192 to 197, 202, 203
inline constexpr std::size_t kKv = 32;              // f32
inline constexpr std::size_t kMa = 36;              // f32
inline constexpr std::size_t kExposureTime = 40;    // f32, same value as the panoramic one
inline constexpr std::size_t kRefreshed = 44;       // u32, 1 after every refresh
inline constexpr std::size_t kObliqueAngle = 48;    // u16, degrees, 0 for other views
inline constexpr std::size_t kDose1 = 50;           // f32, only written when a dose is reported
inline constexpr std::size_t kDose2 = 54;           // f32
inline constexpr std::size_t kDoseKind = 58;        // u32, 1 or 2
inline constexpr std::size_t kRealResolution = 196; // 2 x f64, only in the host's copy
inline constexpr std::size_t kPanelFlag = 288;      // u8, cleared by the panel at start-up
} // namespace ceph

// Dose kind as the host reads it: the unit's kind word plus one; a unit that reports no dose
// (kind word above 1, 0xFFFE on the first protocol) gives None.
enum class DoseKind : std::uint32_t { None = 0, First = 1, Second = 2 };

// Resolutions in millimetres per pixel. The panoramic display resolution is the real one over the
// 1.27 magnification of the panoramic projection.
inline constexpr double kPanoDisplayResolution = 0.08188976377952756;
inline constexpr double kPanoRealResolution = 0.104;
inline constexpr double kCephaloRealResolution = 0.13;

static_assert(pano::kProgramName + pano::kProgramNameSize == pano::kNoxState);
static_assert(pano::SectionWidth(pano::kMaxSections - 1) + 2 == 67);
static_assert(pano::kRealResolution + 2 * sizeof(double) <= pano::kSize);
static_assert(ceph::kRealResolution + 2 * sizeof(double) <= ceph::kPanelFlag);
static_assert(ceph::kPanelFlag < ceph::kSize);

// Little-endian accessors for unaligned fields, independent of the machine's byte order.
inline std::uint16_t LoadU16(const unsigned char* record, std::size_t offset) {
    return static_cast<std::uint16_t>(record[offset] | (record[offset + 1] << 8));
}
inline std::uint32_t LoadU32(const unsigned char* record, std::size_t offset) {
    return static_cast<std::uint32_t>(record[offset]) | static_cast<std::uint32_t>(record[offset + 1]) << 8 |
           static_cast<std::uint32_t>(record[offset + 2]) << 16 |
           static_cast<std::uint32_t>(record[offset + 3]) << 24;
}
inline std::uint64_t LoadU64(const unsigned char* record, std::size_t offset) {
    return static_cast<std::uint64_t>(LoadU32(record, offset)) |
           static_cast<std::uint64_t>(LoadU32(record, offset + 4)) << 32;
}
inline float LoadF32(const unsigned char* record, std::size_t offset) {
    return std::bit_cast<float>(LoadU32(record, offset));
}
inline double LoadF64(const unsigned char* record, std::size_t offset) {
    return std::bit_cast<double>(LoadU64(record, offset));
}

inline void StoreU16(unsigned char* record, std::size_t offset, std::uint16_t value) {
    record[offset] = static_cast<unsigned char>(value);
    record[offset + 1] = static_cast<unsigned char>(value >> 8);
}
inline void StoreU32(unsigned char* record, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        record[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void StoreU64(unsigned char* record, std::size_t offset, std::uint64_t value) {
    for (std::size_t i = 0; i < 8; ++i)
        record[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void StoreF32(unsigned char* record, std::size_t offset, float value) {
    StoreU32(record, offset, std::bit_cast<std::uint32_t>(value));
}
inline void StoreF64(unsigned char* record, std::size_t offset, double value) {
    StoreU64(record, offset, std::bit_cast<std::uint64_t>(value));
}

} // namespace host::shotrecord
