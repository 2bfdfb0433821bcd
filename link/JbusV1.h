// Register map of protocol version 1 units (software major version 1).
#pragma once

#include "link/JbusSharedMap.h"

namespace unitlink {

// Re-packs a protocol 1 conditions word into the protocol 2 layout the panel reads.
uint16_t RepackConditionsV1(uint16_t raw) noexcept;

class CJbusV1 : public CJbusSharedMap {
public:
    CJbusV1(const BusApi& bus, ErrorLatch& latch, WaitFunction wait = {});

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
