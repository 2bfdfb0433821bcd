// The unit's three data blocks (factory settings, calibration table, preferences) as typed views
// over the bytes the registers deliver; unknown bytes are kept so a write-back returns them as read.
#pragma once

#include "link/ByteRecord.h"

#include <cstdint>
#include <string>

namespace unitlink {

// Block masks of the "blocks rewritten" (0x81) and "reset to defaults" (0x82) commands.
inline constexpr uint8_t kCalibrationTableMask = 0x01;
inline constexpr uint8_t kFactorySettingsMask = 0x02;
inline constexpr uint8_t kPreferencesMask = 0x04;

// 32 bytes. Option words are indexes into their choice lists.
struct FactorySettingsBlock : ByteRecord<32> {
    static constexpr uint8_t kMask = kFactorySettingsMask;
    static constexpr std::size_t kSerialNumberSize = 10; // 9 characters and the terminating 0

    std::string SerialNumber() const;
    // Keeps at most 9 characters; the bytes after the terminator are zeroed.
    void SetSerialNumber(const std::string& text);

    uint16_t MainsVoltage() const noexcept { return U16(10); }
    uint16_t MainsFrequency() const noexcept { return U16(12); }
    uint16_t PanoramicOption() const noexcept { return U16(14); }
    uint16_t CephalometricOption() const noexcept { return U16(16); }
    uint16_t TubeReference() const noexcept { return U16(18); }
    void SetMainsVoltage(uint16_t v) noexcept { SetU16(10, v); }
    void SetMainsFrequency(uint16_t v) noexcept { SetU16(12, v); }
    void SetPanoramicOption(uint16_t v) noexcept { SetU16(14, v); }
    void SetCephalometricOption(uint16_t v) noexcept { SetU16(16, v); }
    void SetTubeReference(uint16_t v) noexcept { SetU16(18, v); }

    // The cephalometric option only distinguishes 2 from everything else.
    bool HasCephalometricOption2() const noexcept { return CephalometricOption() == 2; }
};

// 80 bytes (40 registers); floats low word first.
struct CalibrationTable : ByteRecord<80> {
    static constexpr uint8_t kMask = kCalibrationTableMask;
    static constexpr int kHeatingEntries = 11; // kV set points 60, 63, ..., 90
    static constexpr int kFirstHeatingKv = 60;
    static constexpr int kHeatingKvStep = 3;

    // The kV/mA chain's coefficients, in table order.
    enum Coefficient {
        KvMeasureGain,
        KvMeasureOffset,
        KvCommandGain,
        KvCommandOffset,
        MaMeasureGain,
        MaMeasureOffset,
        MaCommandGain,
        MaCommandOffset,
        kCoefficientCount
    };

    int16_t StandTravelLength() const noexcept { return S16(0); }
    int16_t StandHysteresis() const noexcept { return S16(2); }
    int16_t StandOffCentre() const noexcept { return S16(4); }
    void SetStandOffCentre(int16_t v) noexcept { SetS16(4, v); }
    // The two floats at bytes 6-13, shown only in the unit information file.
    float InformationFloat(int index) const noexcept { return F32(6 + 4 * static_cast<std::size_t>(index & 1)); }

    float GetCoefficient(Coefficient which) const noexcept { return F32(CoefficientOffset(which)); }
    void SetCoefficient(Coefficient which, float v) noexcept { SetF32(CoefficientOffset(which), v); }

    // Entry i belongs to 60 + 3i kV; out-of-range entries read 0 and are not written.
    int16_t HeatingValue(int index) const noexcept;
    void SetHeatingValue(int index, int16_t v) noexcept;

    // Protocol 2 units only.
    int16_t CephalometricStandOffset() const noexcept { return S16(68); }
    void SetCephalometricStandOffset(int16_t v) noexcept { SetS16(68, v); }

    static constexpr std::size_t kInformationBytesOffset = 70;
    static constexpr std::size_t kInformationBytesSize = 5;

private:
    static std::size_t CoefficientOffset(Coefficient which) noexcept {
        return 14 + 4 * static_cast<std::size_t>(which < kCoefficientCount ? which : 0);
    }
};

// 40 bytes.
struct PreferenceBlock : ByteRecord<40> {
    static constexpr uint8_t kMask = kPreferencesMask;
    static constexpr int kCompensationRows = 4;
    static constexpr int kFirstCompensationColumn = 1;
    static constexpr int kLastCompensationColumn = 3;

    uint16_t StandRestPosition() const noexcept { return U16(0); }
    void SetStandRestPosition(uint16_t v) noexcept { SetU16(0, v); }
    uint16_t DoseUnit() const noexcept { return U16(28); }
    void SetDoseUnit(uint16_t v) noexcept { SetU16(28, v); }

    // Byte offset of compensation cell (row 0..3, column 1..3); 0 when the cell does not exist.
    static std::size_t CompensationCellOffset(int row, int column) noexcept;
    // Rows 0 and 2 hold signed values, rows 1 and 3 unsigned ones; both come back as int.
    int CompensationCell(int row, int column) const noexcept;
    // Stores the low 16 bits.
    void SetCompensationCell(int row, int column, int value) noexcept;
};

} // namespace unitlink
