// The unit display character table and the 40-byte unit text.
#include "link/DisplayText.h"

#include <utility>

namespace unitlink {

namespace {

constexpr uint8_t kBlank = 32;

// Characters from 130 up that the unit's display can show, with the byte it shows them as; every
// other character from 127 up becomes a blank. '^' has no glyph on the unit and shows as 'N'.
constexpr std::pair<uint8_t, uint8_t> kExtendedCharacters[] = {
    {130, 44},  {131, 168}, {134, 209}, {136, 94},  {139, 60},  {145, 180}, {146, 179}, {149, 205},
    {150, 45},  {151, 45},  {152, 126}, {153, 208}, {155, 62},  {161, 169}, {162, 164}, {163, 165},
    {165, 166}, {166, 124}, {167, 210}, {168, 177}, {169, 207}, {170, 157}, {171, 187}, {174, 206},
    {175, 191}, {176, 178}, {177, 16},  {178, 30},  {179, 31},  {180, 180}, {181, 218}, {182, 211},
    {183, 176}, {186, 158}, {187, 188}, {188, 182}, {189, 181}, {191, 159}, {194, 143}, {195, 170},
    {196, 142}, {197, 142}, {198, 146}, {199, 128}, {204, 141}, {205, 161}, {206, 140}, {207, 139},
    {209, 156}, {210, 149}, {211, 162}, {212, 147}, {213, 148}, {214, 183}, {215, 174}, {220, 154},
    {222, 220}, {223, 224}, {224, 133}, {225, 160}, {226, 131}, {227, 171}, {228, 132}, {229, 134},
    {230, 145}, {231, 135}, {232, 138}, {233, 130}, {234, 136}, {235, 137}, {236, 141}, {237, 161},
    {238, 140}, {239, 139}, {241, 155}, {242, 149}, {243, 162}, {244, 147}, {245, 173}, {246, 148},
    {247, 184}, {248, 175}, {249, 151}, {250, 163}, {251, 150}, {252, 129}, {254, 220}, {255, 152},
};

constexpr std::array<uint8_t, 256> BuildTable() {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = (c >= 33 && c <= 126) ? static_cast<uint8_t>(c) : kBlank;
    table['^'] = 'N';
    for (const auto& [from, to] : kExtendedCharacters)
        table[from] = to;
    return table;
}

constexpr std::array<uint8_t, 256> kTable = BuildTable();

} // namespace

const std::array<uint8_t, 256>& UnitDisplayCharacterTable() noexcept { return kTable; }

UnitTextArea ToUnitDisplayText(std::string_view text) noexcept {
    UnitTextArea area;
    area.bytes.fill(kBlank);
    area.bytes[kUnitTextCharacters] = 0;
    for (std::size_t i = 0; i < kUnitTextCharacters && i < text.size() && text[i] != '\0'; ++i)
        area.bytes[i] = ToUnitDisplayCharacter(static_cast<uint8_t>(text[i]));
    return area;
}

} // namespace unitlink
