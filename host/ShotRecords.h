// The shot information records handed to the host after a shot: exposure values, dose and image
// sections refreshed from the unit into the 211-byte panoramic and 293-byte cephalometric records.
#pragma once

#include "link/PortOpening.h"
#include "support/RegistryStore.h"

#include <cstddef>
#include <cstdint>

namespace host {

// The module's copy of the last shot's values, shown by the panel.
struct ShotValues {
    float dose = 0.0f;
    uint16_t kv = 0;
    float timeSeconds = 0.0f;
};

struct ShotContext {
    unitlink::UnitLink& link;
    unsigned char* panoRecord; // 211 bytes, null while not allocated
    unsigned char* cephRecord; // 293 bytes
    bool newUnitFeatures;      // the unit reports its TMJ image layout
    bool panelExists;
};

// Refreshes both records and the shot values from the unit under the link lock (a closed link or a
// failed read of the selection or shot result leaves them as they stand, the failure latched) and
// copies one record out when size is 211 or 293. False only when the records are not allocated.
bool RefreshShotInfo(const ShotContext& context, ShotValues& values, unsigned char* out, std::size_t size);

// The export GetInfosTir: the record for the mode (1 panoramic, else cephalometric), refreshed, with
// the resolutions added in the host's copy only. A null record does nothing.
void GetInfosTir(const ShotContext& context, ShotValues& values, uint8_t mode, unsigned char* record);

// The export GetExpositionTime: only the time, the two dose values and the dose kind of the host's
// panoramic record change.
void GetExpositionTime(const ShotContext& context, ShotValues& values, unsigned char* record);

// Reads the unit's rotation flag; stores "Rotation" ("1" when the unit rotates the image, else "0")
// under the machine key HALVEX\PANO. Returns the mirror flag: 1 when the unit does not rotate.
uint8_t UpdateRotation(unitlink::UnitLink& link, support::RegistryStore& registry);

} // namespace host
