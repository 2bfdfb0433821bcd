// The selection pages' portable rules: the command words their keys send and the prompt that names a
// combination of partial-panoramic segments.
#pragma once

#include <cstdint>

namespace selection {

// A command word: the selection group in the low byte, its value in the high byte.
constexpr uint16_t CommandWord(uint8_t group, uint8_t value) noexcept {
    return static_cast<uint16_t>((value << 8) | group);
}
inline constexpr uint8_t kGroupProgram = 0x04;
inline constexpr uint8_t kGroupAge = 0x05;
inline constexpr uint8_t kGroupBuild = 0x06;

// The segment program of the lit segment keys: variant bits 1 right molar, 2 incisive, 4 left molar.
// No key lit gives program 0, which the unit takes as "no segment".
constexpr uint16_t SegmentWord(bool rightMolar, bool incisive, bool leftMolar) noexcept {
    const uint8_t bits = static_cast<uint8_t>((rightMolar ? 0x10 : 0) | (incisive ? 0x20 : 0) | (leftMolar ? 0x40 : 0));
    return CommandWord(kGroupProgram, bits);
}

// The prompt that names the segments lit once the operator stopped pressing; 0 for none.
constexpr uint16_t SegmentPrompt(bool rightMolar, bool incisive, bool leftMolar) noexcept {
    constexpr uint16_t kPrompts[8] = {0, 4032, 4008, 4025, 4033, 4031, 4026, 4034};
    return kPrompts[(incisive ? 2 : 0) + (rightMolar ? 1 : 0) + (leftMolar ? 4 : 0)];
}

} // namespace selection
