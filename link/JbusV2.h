// Register map of protocol version 2 units (software major versions 2 and 3).
#pragma once

#include "link/JbusSharedMap.h"

namespace unitlink {

class CJbusV2 : public CJbusSharedMap {
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
};

} // namespace unitlink
