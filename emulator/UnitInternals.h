// What the rooms of the unit model share: register numbers of the calibration table, block error codes,
// and the byte helpers of its blocks. Private to the model's sources.
#pragma once

#include "emulator/UnitBytes.h"
#include "emulator/UnitDefaults.h"
#include "emulator/UnitModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace emu::unit {

// The command register's word address.
constexpr uint16_t kCommandWord = kRegisterBaseWord + 64;

// Calibration table registers.
constexpr int kRegTravel = 0, kRegHysteresis = 1;
constexpr int kRegKvMeasGain = 7, kRegKvMeasOffset = 9, kRegKvCmdGain = 11, kRegKvCmdOffset = 13;
constexpr int kRegMaMeasGain = 15, kRegMaMeasOffset = 17, kRegMaCmdGain = 19, kRegMaCmdOffset = 21;
constexpr int kRegHeating = 23;

constexpr uint16_t kBlockErrorCal = 54, kBlockErrorFactory = 56, kBlockErrorPrefs = 57;

// A float spans two registers, the lower address holding the low 16 bits.
inline void PutFloat(uint8_t* bytes, size_t offset, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutWord(bytes, offset, static_cast<uint16_t>(bits & 0xFFFF));
    PutWord(bytes, offset + 2, static_cast<uint16_t>(bits >> 16));
}
inline float GetFloat(const uint8_t* bytes, size_t offset) {
    const uint32_t bits = GetWord(bytes, offset) | (static_cast<uint32_t>(GetWord(bytes, offset + 2)) << 16);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}
inline void PutFloatWords(uint16_t* words, size_t index, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    words[index] = static_cast<uint16_t>(bits & 0xFFFF);
    words[index + 1] = static_cast<uint16_t>(bits >> 16);
}
inline void PutText(uint8_t* field, size_t size, std::string_view text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

inline int16_t HeatingValueAt(double kv) {
    return static_cast<int16_t>(
        std::lround(defaults::kHeatingSlope * (kv - 75.0) + defaults::kHeatingOffset));
}

inline uint16_t RoundToStep(double value, uint16_t step) {
    if (step == 0)
        return static_cast<uint16_t>(std::lround(value));
    return static_cast<uint16_t>(std::lround(value / step) * step);
}

inline uint16_t ClampStep(long value, uint16_t min, uint16_t max) {
    return static_cast<uint16_t>(std::clamp<long>(value, min, max));
}

inline bool IsBlockError(uint16_t code) {
    return code == kBlockErrorCal || code == kBlockErrorFactory || code == kBlockErrorPrefs;
}

} // namespace emu::unit
