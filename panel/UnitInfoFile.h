// The unit information file: the sections, keys and values of the snapshot of the unit (identity,
// counters, manufacturing settings, calibration table, preferences) that the panel writes for the host
// when it closes. Only the entries are built here; the profile-file writer is the platform's.
#pragma once

#include "link/DataBlocks.h"
#include "link/Records.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace panel {

// The five blocks read from the unit, zeroed where a read failed.
struct UnitInfoBlocks {
    unitlink::IdentificationBlock identification;
    unitlink::CounterRecord counters;
    unitlink::FactorySettingsBlock factory;
    unitlink::CalibrationTable calibration;
    unitlink::PreferenceBlock preferences;
};

struct UnitInfoEntry {
    std::string section;
    std::string key;
    std::string value;
    bool operator==(const UnitInfoEntry&) const = default;
};

// Texts of the language library by identifier.
using TextSource = std::function<std::string(uint16_t id)>;

// Every entry in the order written. An option beyond its list of texts gives an empty value rather
// than whatever text follows the list in the library.
std::vector<UnitInfoEntry> UnitInfoEntries(const UnitInfoBlocks& blocks, const TextSource& text);

} // namespace panel
