// The service dialogs' window-free rules.
#include "service/ServiceRules.h"

#include <cstdio>
#include <cstdlib>

namespace service {

bool IsSignedCompensationRow(int row) noexcept {
    return row % 2 == 0;
}

std::string CompensationCellText(const unitlink::PreferenceBlock& block, int row, int column) {
    return std::to_string(block.CompensationCell(row, column));
}

std::optional<uint16_t> CompensationCellWord(const std::string& text, int row) {
    if (text.size() > kCellTextMax || row < 0 || row >= unitlink::PreferenceBlock::kCompensationRows)
        return std::nullopt;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const std::size_t firstDigit = i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 65535) // already beyond every row's range; stop before any overflow
            return std::nullopt;
    }
    if (i == firstDigit)
        return std::nullopt;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i != text.size())
        return std::nullopt;
    if (negative)
        value = -value;
    const bool isSigned = IsSignedCompensationRow(row);
    const long long low = isSigned ? -32768 : 0;
    const long long high = isSigned ? 32767 : 65535;
    if (value < low || value > high)
        return std::nullopt;
    return static_cast<uint16_t>(value & 0xFFFF);
}

uint16_t SelectionWord(int selection, uint16_t current) noexcept {
    return selection < 0 || selection > 0xFFFF ? current : static_cast<uint16_t>(selection);
}

int SelectionIndex(uint16_t word, int entries) noexcept {
    return word < entries ? word : -1;
}

void ApplyFactorySelections(unitlink::FactorySettingsBlock& block, const FactorySelections& s) {
    block.SetMainsVoltage(SelectionWord(s.voltage, block.MainsVoltage()));
    block.SetPanoramicOption(SelectionWord(s.panoramic, block.PanoramicOption()));
    block.SetCephalometricOption(SelectionWord(s.cephalometric, block.CephalometricOption()));
    block.SetMainsFrequency(SelectionWord(s.frequency, block.MainsFrequency()));
    block.SetTubeReference(SelectionWord(s.tube, block.TubeReference()));
}

FrameCounts FrameCountTexts(uint16_t good, uint16_t bad) {
    // Added as int: two 16-bit counters may sum past 65535.
    const int total = static_cast<int>(good) + static_cast<int>(bad);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f %%", total ? bad * 100.0 / total : 0.0);
    return {std::to_string(total), std::to_string(bad), rate};
}

std::vector<BaudEntry> BaudList(const std::string& countText, const std::vector<std::string>& rateTexts) {
    std::vector<BaudEntry> list;
    const int count = std::atoi(countText.c_str());
    for (int i = 0; i < count && i < static_cast<int>(rateTexts.size()); ++i) {
        const std::string& text = rateTexts[static_cast<std::size_t>(i)];
        const int value = std::atoi(text.c_str());
        if (value > 0)
            list.push_back({text + " Bauds", value});
    }
    return list;
}

std::string ShotCountText(uint32_t shots) {
    return std::to_string(shots);
}

std::string EnergyKjText(uint32_t joules) {
    return std::to_string(joules / 1000);
}

} // namespace service
