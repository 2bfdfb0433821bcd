// The upper part of the register map, the same on both protocol versions: command register, the three
// data blocks, unit text and display code, and the identification-area counters.
#pragma once

#include "link/Jbus.h"

namespace unitlink {

class CJbusSharedMap : public CJbus {
public:
    using CJbus::CJbus;

    bool WriteCommand(uint16_t command) override;
    bool ReadFactorySettings(FactorySettingsBlock* out) override;
    bool WriteFactorySettings(const FactorySettingsBlock* block) override;
    bool ReadCalibrationTable(CalibrationTable* out) override;
    bool WriteCalibrationTable(const CalibrationTable* block) override;
    bool ReadPreferences(PreferenceBlock* out) override;
    bool WritePreferences(const PreferenceBlock* block) override;
    bool ReadUnitText(UnitTextArea* out) override;
    bool WriteUnitText(const UnitTextArea* text) override;
    bool ReadDisplayCode(DisplayCodeText* out) override;
    bool WriteDisplayCode(const DisplayCodeText* code) override;
    bool ReadUnitCounters(CounterRecord* out) override;
    bool ReadUnitCounter(uint32_t* counter) override;
};

} // namespace unitlink
