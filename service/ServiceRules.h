// The service dialogs' rules that need no window: compensation cells, option lists, the serial
// number, the link's failure rate and the counters as the dialogs show them.
#pragma once

#include "link/DataBlocks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace service {

// A compensation cell's text as typed: at most this many characters are taken from the edit.
inline constexpr std::size_t kCellTextMax = 19;

// Rows 0 and 2 hold signed kV offsets, rows 1 and 3 unsigned reference values.
bool IsSignedCompensationRow(int row) noexcept;

// The cell's text for the table: signed or unsigned decimal by its row.
std::string CompensationCellText(const unitlink::PreferenceBlock& block, int row, int column);

// The register word for a typed cell: a whole decimal number (blanks around it allowed) within the
// row's range. Nothing for an empty, non-numeric, too long, out-of-range, or negative-where-unsigned
// entry, so a typing slip never reaches the unit.
std::optional<uint16_t> CompensationCellWord(const std::string& text, int row);

// A drop-down selection stored into a block word: no selection (-1) keeps the block's value.
uint16_t SelectionWord(int selection, uint16_t current) noexcept;
// The list entry to select for a block word; -1 (no selection) when the word is beyond the list.
int SelectionIndex(uint16_t word, int entries) noexcept;

// The five factory option lists in the order Save stores them: voltage (word 10), panoramic (14),
// cephalometric (16), frequency (12), tube (18).
struct FactorySelections {
    int voltage = -1;
    int panoramic = -1;
    int cephalometric = -1;
    int frequency = -1;
    int tube = -1;
};
void ApplyFactorySelections(unitlink::FactorySettingsBlock& block, const FactorySelections& selections);

// The link's statistics as the communication dialog shows them: total, bad, and the failure rate
// "%.1f %" (0.0 % when no frame was counted).
struct FrameCounts {
    std::string total;
    std::string bad;
    std::string rate;
};
FrameCounts FrameCountTexts(uint16_t good, uint16_t bad);

// Baud-rate list from the module's texts: the entry count text, then the rate texts. Entries that
// are not numbers are skipped; the count is bounded by the texts given.
struct BaudEntry {
    std::string label; // "%s Bauds"
    int value = 0;
};
std::vector<BaudEntry> BaudList(const std::string& countText, const std::vector<std::string>& rateTexts);

// Life counters: shots as counted, energy in whole kJ (the unit counts joules).
std::string ShotCountText(uint32_t shots);
std::string EnergyKjText(uint32_t joules);

} // namespace service
