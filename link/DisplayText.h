// The unit's display character set: the 256-entry table from the module's single-byte texts to the
// bytes the unit's display shows, and the 40-byte text areas built with it (also used by the panel).
#pragma once

#include "link/Records.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace unitlink {

inline constexpr std::size_t kUnitTextCharacters = 39;

// Index: a byte of the module's text; value: the byte for the unit's display.
const std::array<uint8_t, 256>& UnitDisplayCharacterTable() noexcept;

inline uint8_t ToUnitDisplayCharacter(uint8_t c) noexcept { return UnitDisplayCharacterTable()[c]; }

// At most 39 characters of text (up to its first 0), padded with blanks, converted, then a 0 byte.
UnitTextArea ToUnitDisplayText(std::string_view text) noexcept;

} // namespace unitlink
