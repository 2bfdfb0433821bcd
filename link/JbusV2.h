// Register map of protocol version 2 units (software major versions 2 and 3).
#pragma once

#include "link/Jbus.h"

namespace unitlink {

class CJbusV2 : public CJbus {
public:
    CJbusV2(const BusApi& bus, ErrorLatch& latch, WaitFunction wait = {});

    int GetProtocolVersion() override;
    bool ReadIdentification(IdentificationBlock* out) override;
    bool ReadUnitState(uint16_t* state) override;
    bool ReadUnitError(uint16_t* error) override;
    bool ReadUnitConditions(uint16_t* conditions) override;
    bool ReadSelection(SelectionRecord* out) override;
    bool ReadShotResult(ShotResultRecord* out) override;
    bool ReadMeasurements(MeasurementRecord* out) override;
    bool ReadCoolingTime(uint16_t* seconds) override;
    bool ReadGeneralCounter(uint16_t* value) override;
    bool ReadImageLayout(ImageLayoutRecord* out) override;
    bool ReadLinkCounters(LinkCounterRecord* out) override;
    bool ReadAcquisitionStatus(uint16_t* status) override;
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
