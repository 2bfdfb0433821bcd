// Little-endian words in the unit's byte blocks (a register holds bytes 2n and 2n+1, low byte first).
#pragma once

#include <cstddef>
#include <cstdint>

namespace emu {

inline void PutWord(uint8_t* bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}
inline uint16_t GetWord(const uint8_t* bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

} // namespace emu
