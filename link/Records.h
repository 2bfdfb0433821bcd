// The unit's records as the register operations deliver them: identification, selection, shot
// result, measurements, image layout, link and unit counters, text areas.
#pragma once

#include "link/ByteRecord.h"

#include <cstdint>
#include <string>

namespace unitlink {

// 30 bytes: three zero-terminated texts in fixed fields; the middle one is the software version.
struct IdentificationBlock : ByteRecord<30> {
    static constexpr std::size_t kVersionOffset = 12;
    static constexpr std::size_t kVersionSize = 6;
    // The version field up to its first 0 byte, never beyond the field.
    std::string VersionText() const;
};

// 14 bytes; protocol 2 assembles it from two reads.
struct SelectionRecord : ByteRecord<14> {
    uint16_t KvSetPoint() const noexcept { return U16(0); }
    // Low four bits the program family, high four bits the variant.
    uint8_t ProgramCode() const noexcept { return U8(6); }
    uint8_t ProgramFamily() const noexcept { return U8(6) & 0x0F; }
    uint16_t Age() const noexcept { return U16(8); }
    uint16_t Build() const noexcept { return U16(10); }
    uint16_t Nox() const noexcept { return U16(12); }
};

// 22 bytes; protocol 1 units report no dose (dose kind 0xFFFE).
struct ShotResultRecord : ByteRecord<22> {
    static constexpr uint16_t kNoDoseKindV1 = 0xFFFE;
    uint16_t Kv() const noexcept { return U16(0); }
    uint16_t MilliAmpsTimes10() const noexcept { return U16(2); }
    uint16_t ExposureTimeTimes100() const noexcept { return U16(4); }
    uint16_t TimeTimes100() const noexcept { return U16(6); }
    float Dose() const noexcept { return F32(8); }
    // 0 or 1; above 1 there is no dose.
    uint16_t DoseKind() const noexcept { return U16(12); }
    float FirstDoseValue() const noexcept { return F32(14); }
    float SecondDoseValue() const noexcept { return F32(18); }
};

// 16 bytes: 8 registers as read; the calibrations use the floats at 4 and 8.
struct MeasurementRecord : ByteRecord<16> {
    float MeasuredKv() const noexcept { return F32(4); }
    float MeasuredMilliAmps() const noexcept { return F32(8); }
};

// 8 bytes.
struct ImageLayoutRecord : ByteRecord<8> {
    uint16_t RotationFlag() const noexcept { return U16(0); }
    uint16_t TmjImageCount() const noexcept { return U16(4); }
    uint16_t TotalLength() const noexcept { return U16(6); }
};

// 18 bytes: frame counts kept by the unit.
struct LinkCounterRecord : ByteRecord<18> {
    uint16_t FramesReceived() const noexcept { return U16(0); }
    uint16_t FramesWithError() const noexcept { return U16(2); }
};

// 10 bytes in the identification area.
struct CounterRecord : ByteRecord<10> {
    uint32_t FirstCounter() const noexcept { return U32(0); }
    uint32_t SecondCounter() const noexcept { return U32(4); }
};

// 40 bytes: at most 39 display characters padded with blanks, then a 0 byte.
struct UnitTextArea : ByteRecord<40> {};

// 4 bytes: "I%.2d", "E%.2d" or three blanks, then a 0 byte.
struct DisplayCodeText : ByteRecord<4> {};

} // namespace unitlink
