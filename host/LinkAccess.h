// The module's use of the unit link, in one place: the exports and the GUI thread go through these.
#pragma once

#include <cstdint>

namespace host {

// OpenCommPort's work: 15 on success, 1 on failure (logged).
int OpenCommPort();
// Under the link lock: the unit's state word; false (state 0) when there is no link or the read failed.
bool ReadUnitState(uint16_t& state);
// The link's protocol version, 1 when there is no link.
int LinkProtocolVersion();
// Under the link lock: closes the bus, keeping the link object.
void CloseBus();
// Under the link lock: closes the bus if open and destroys the link object.
void DestroyLink();
// Refreshes both shot records from the unit (nothing without a link).
void RefreshShotRecords();
// Fills the four exposure fields of a host's panoramic record.
void FillExpositionTime(uint8_t* record);

} // namespace host
