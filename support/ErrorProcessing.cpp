// The unit error processing as the panel needs it to run: the latched error is logged and the latch
// cleared. Its dialogs and recovery come with the error dialogs.
#include "support/ErrorProcessing.h"

#include "host/Lumen70App.h"
#include "panel/PanelOperations.h"
#include "support/EventLog.h"

#include <cstdio>

namespace support {

void ProcessUnitError(CPanelOperations&) {
    CLumen70App& app = theApp();
    const int32_t code = app.GetLatchedError();
    if (code != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "Error n\xB0%.2d", static_cast<int>(code));
        ModuleLog().WriteLogEntry(1, text, "CLumen70App::ProcessError", 715);
    }
    app.firstError.Clear();
}

} // namespace support
