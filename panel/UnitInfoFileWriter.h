// Writes the unit information file (the host finds it through GetInfoFileName) from the unit.
#pragma once

namespace panel {

// Rebuilds the file at the module's information path: deletes it, reads the unit's blocks under the
// link lock, then writes every entry. Does nothing (the old file stays) when the path is empty or the
// link is closed.
void WriteUnitInformationFile();

} // namespace panel
