// The unit error processing of the module: its latch, log, link and restore file given to the
// processing that the panel's polling step runs.
#include "support/ErrorProcessing.h"

#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "support/UnitErrorHandling.h"

#include <windows.h>

namespace support {

void ProcessUnitError(CPanelOperations& panel) {
    CLumen70App& app = theApp();
    // Only the GUI thread processes errors, one at a time: these live as long as the module.
    static RepeatedErrorFilter repeats;
    static unitlink::StdRestoreFileStore files;
    UnitErrorServices services{app.firstError,
                               ModuleLog(),
                               host::ModuleUnitLink(),
                               files,
                               app.restorePath,
                               [&app] { return app.technicalAccess != 0; },
                               [] { host::RefreshShotRecords(); },
                               [] { return static_cast<uint64_t>(::GetTickCount64()); },
                               [](unsigned ms) { ::Sleep(ms); },
                               repeats};
    HandleUnitError(panel, services);
}

} // namespace support
