// The unit information file's entries, from the unit's blocks and the language library's names.
#include "panel/UnitInfoFile.h"

#include "nxlang/TextIds.h"

#include <cstdio>

namespace panel {

namespace {

namespace ini = nxlang::Ini;

// A text field of a block: up to its first 0 byte, never beyond the field.
template <typename Block> std::string FieldText(const Block& block, size_t offset, size_t length) {
    std::string text;
    for (size_t i = offset; i < offset + length && i < Block::kSize && block.bytes[i] != 0; ++i)
        text.push_back(static_cast<char>(block.bytes[i]));
    return text;
}

std::string Decimal(long long value) {
    return std::to_string(value);
}

std::string Real(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return text;
}

// The text of option `index` in a list of `count` texts starting at `first`; empty beyond the list.
std::string OptionText(const TextSource& text, uint16_t first, uint16_t count, uint16_t index) {
    return index < count ? text(static_cast<uint16_t>(first + index)) : std::string();
}

// Mains voltage texts, panoramic and cephalometric option lists, stand rest positions.
constexpr uint16_t kMainsVoltageFirst = 4092, kMainsVoltageCount = 2;
constexpr uint16_t kPanoramicOptionFirst = 4094, kPanoramicOptionCount = 4;
constexpr uint16_t kCephOptionFirst = 4098, kCephOptionCount = 3;
constexpr uint16_t kRestPositionFirst = 4066, kRestPositionCount = 3;

} // namespace

std::vector<UnitInfoEntry> UnitInfoEntries(const UnitInfoBlocks& blocks, const TextSource& text) {
    std::vector<UnitInfoEntry> entries;
    auto add = [&](uint16_t section, std::string key, std::string value) {
        entries.push_back({text(section), std::move(key), std::move(value)});
    };

    const auto& id = blocks.identification;
    add(ini::IdentificationSection, text(ini::UnitType), FieldText(id, 0, 12));
    add(ini::IdentificationSection, text(ini::SoftwareVersion), FieldText(id, 12, 6));
    add(ini::IdentificationSection, text(ini::ReleaseDate), FieldText(id, 18, 12));

    add(ini::CountersSection, text(ini::ExposureCount), Decimal(blocks.counters.U32(0)));
    add(ini::CountersSection, text(ini::TubeEnergy), Decimal(blocks.counters.U32(4)));

    const auto& factory = blocks.factory;
    add(ini::ManufacturingSection, text(ini::SerialNumber), FieldText(factory, 0, 32));
    add(ini::ManufacturingSection, text(ini::MainsVoltage),
        OptionText(text, kMainsVoltageFirst, kMainsVoltageCount, factory.U16(10)));
    add(ini::ManufacturingSection, text(ini::PanoramicOption),
        OptionText(text, kPanoramicOptionFirst, kPanoramicOptionCount, factory.U16(14)));
    add(ini::ManufacturingSection, text(ini::CephalometricOption),
        OptionText(text, kCephOptionFirst, kCephOptionCount, factory.U16(16)));

    const auto& cal = blocks.calibration;
    add(ini::CalibrationSection, text(ini::StandTravel), Decimal(cal.S16(0)));
    add(ini::CalibrationSection, text(ini::StandHysteresis), Decimal(cal.S16(2)));
    add(ini::CalibrationSection, text(ini::StandOffCentre), Decimal(cal.S16(4)));
    add(ini::CalibrationSection, text(ini::CephStandOffset), Decimal(cal.S16(68)));
    for (uint16_t k = 0; k < 10; ++k)
        add(ini::CalibrationSection, text(static_cast<uint16_t>(ini::UnitCoefficient1 + k)),
            Real(cal.F32(6 + 4u * k)));
    for (int i = 0; i <= 10; ++i)
        add(ini::CalibrationSection, text(ini::Heating) + "[" + std::to_string(i) + "]",
            Decimal(cal.S16(46 + 2u * static_cast<unsigned>(i))));
    for (uint16_t k = 0; k < 5; ++k)
        add(ini::CalibrationSection, text(static_cast<uint16_t>(ini::UnitData1 + k)),
            Decimal(cal.U8(70 + k)));

    const auto& prefs = blocks.preferences;
    const uint16_t rest = prefs.U16(0);
    add(ini::PreferencesSection, text(ini::StandRestPosition),
        rest < kRestPositionCount ? text(static_cast<uint16_t>(kRestPositionFirst + rest))
                                  : std::string(" "));
    const uint16_t patients[] = {ini::Adult, ini::Child};
    const uint16_t builds[] = {ini::Slim, ini::Normal, ini::Large};
    for (int j = 0; j < 2; ++j) {
        for (int k = 0; k < 3; ++k) {
            const unsigned n = static_cast<unsigned>(3 * j + k);
            const std::string where = " ( " + text(patients[j]) + ", " + text(builds[k]) + ")";
            add(ini::PreferencesSection, text(ini::ReferenceKv) + where, Decimal(prefs.U16(6 + 4 * n)));
            add(ini::PreferencesSection, text(ini::KvOffset) + where, Decimal(prefs.S16(4 + 4 * n)));
        }
    }
    return entries;
}

} // namespace panel
