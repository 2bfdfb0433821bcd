// The register operations both protocol versions share.
#include "link/JbusSharedMap.h"

namespace unitlink {
namespace {
constexpr uint16_t kCommand = 128;
constexpr uint16_t kFactorySettings = 130, kFactorySettingsWords = 16;
constexpr uint16_t kCalibrationTable = 162, kCalibrationTableWords = 40;
constexpr uint16_t kPreferences = 242, kPreferencesWords = 20;
constexpr uint16_t kUnitText = 282, kTextWords = 20;
constexpr uint16_t kDisplayCode = 322, kDisplayCodeWords = 2;
constexpr uint16_t kCounterWords = 5, kFirstCounterWords = 2;
} // namespace

bool CJbusSharedMap::WriteCommand(uint16_t command) { return WriteCommandAt(kCommand, command); }

bool CJbusSharedMap::ReadFactorySettings(FactorySettingsBlock* out) {
    return ReadInto(RegisterWord(kFactorySettings), kFactorySettingsWords, out, FactorySettingsBlock::kSize);
}

bool CJbusSharedMap::WriteFactorySettings(const FactorySettingsBlock* block) {
    return WriteFrom(RegisterWord(kFactorySettings), kFactorySettingsWords, block,
                     FactorySettingsBlock::kSize);
}

bool CJbusSharedMap::ReadCalibrationTable(CalibrationTable* out) {
    return ReadInto(RegisterWord(kCalibrationTable), kCalibrationTableWords, out, CalibrationTable::kSize);
}

bool CJbusSharedMap::WriteCalibrationTable(const CalibrationTable* block) {
    return WriteFrom(RegisterWord(kCalibrationTable), kCalibrationTableWords, block, CalibrationTable::kSize);
}

bool CJbusSharedMap::ReadPreferences(PreferenceBlock* out) {
    return ReadInto(RegisterWord(kPreferences), kPreferencesWords, out, PreferenceBlock::kSize);
}

bool CJbusSharedMap::WritePreferences(const PreferenceBlock* block) {
    return WriteFrom(RegisterWord(kPreferences), kPreferencesWords, block, PreferenceBlock::kSize);
}

bool CJbusSharedMap::ReadUnitText(UnitTextArea* out) {
    return ReadInto(RegisterWord(kUnitText), kTextWords, out, UnitTextArea::kSize);
}

bool CJbusSharedMap::WriteUnitText(const UnitTextArea* text) {
    return WriteFrom(RegisterWord(kUnitText), kTextWords, text, UnitTextArea::kSize);
}

bool CJbusSharedMap::ReadDisplayCode(DisplayCodeText* out) {
    return ReadInto(RegisterWord(kDisplayCode), kDisplayCodeWords, out, DisplayCodeText::kSize);
}

bool CJbusSharedMap::WriteDisplayCode(const DisplayCodeText* code) {
    return WriteFrom(RegisterWord(kDisplayCode), kDisplayCodeWords, code, DisplayCodeText::kSize);
}

bool CJbusSharedMap::ReadUnitCounters(CounterRecord* out) {
    return ReadInto(WordOf(identificationBase), kCounterWords, out, CounterRecord::kSize);
}

bool CJbusSharedMap::ReadUnitCounter(uint32_t* counter) {
    return ReadInto(WordOf(identificationBase), kFirstCounterWords, counter, sizeof(uint32_t));
}

} // namespace unitlink
