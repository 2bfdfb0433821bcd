// The module's use of the unit link. Until the link layer is wired in, there is no link: every
// operation answers as for a module whose port opening failed.
#include "host/LinkAccess.h"

#include "host/Lumen70App.h"
#include "support/EventLog.h"

namespace host {

int OpenCommPort() { return ModuleLog().ReportError(kResultPortFailed, "CLumen70App::OpenCommPort", 999); }

bool ReadUnitState(uint16_t& state) {
    state = 0;
    return false;
}

int LinkProtocolVersion() { return 1; }
void CloseBus() {}
void DestroyLink() {}

void RefreshShotRecords() {}
void FillExpositionTime(uint8_t*) {}

} // namespace host
