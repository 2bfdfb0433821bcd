// Typed views of the unit's data blocks and the identification block.
#include "link/DataBlocks.h"
#include "link/Records.h"

#include <algorithm>

namespace unitlink {

namespace {

// A zero-terminated text held in a fixed field, never read past the field.
std::string FieldText(const uint8_t* field, std::size_t size) {
    const auto* end = std::find(field, field + size, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(field), static_cast<std::size_t>(end - field));
}

} // namespace

std::string IdentificationBlock::VersionText() const {
    return FieldText(bytes.data() + kVersionOffset, kVersionSize);
}

std::string FactorySettingsBlock::SerialNumber() const { return FieldText(bytes.data(), kSerialNumberSize); }

void FactorySettingsBlock::SetSerialNumber(const std::string& text) {
    std::fill_n(bytes.begin(), kSerialNumberSize, uint8_t{0});
    const std::size_t n = std::min(text.size(), kSerialNumberSize - 1);
    std::copy_n(text.begin(), n, bytes.begin());
}

int16_t CalibrationTable::HeatingValue(int index) const noexcept {
    if (index < 0 || index >= kHeatingEntries)
        return 0;
    return S16(46 + 2 * static_cast<std::size_t>(index));
}

void CalibrationTable::SetHeatingValue(int index, int16_t v) noexcept {
    if (index >= 0 && index < kHeatingEntries)
        SetS16(46 + 2 * static_cast<std::size_t>(index), v);
}

std::size_t PreferenceBlock::CompensationCellOffset(int row, int column) noexcept {
    if (row < 0 || row >= kCompensationRows || column < kFirstCompensationColumn ||
        column > kLastCompensationColumn)
        return 0;
    // Rows are stored in pairs: (r0,c1) (r1,c1) (r0,c2) (r1,c2) (r0,c3) (r1,c3), then rows 2 and 3 alike.
    return static_cast<std::size_t>(4 * column + 12 * (row / 2) + 2 * (row % 2));
}

int PreferenceBlock::CompensationCell(int row, int column) const noexcept {
    const std::size_t offset = CompensationCellOffset(row, column);
    if (offset == 0)
        return 0;
    return (row % 2 == 0) ? static_cast<int>(S16(offset)) : static_cast<int>(U16(offset));
}

void PreferenceBlock::SetCompensationCell(int row, int column, int value) noexcept {
    const std::size_t offset = CompensationCellOffset(row, column);
    if (offset != 0)
        SetU16(offset, static_cast<uint16_t>(value & 0xFFFF));
}

} // namespace unitlink
