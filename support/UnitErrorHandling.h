// The unit error processing over the services it needs, so that the module gives it its own link,
// log and latch, and a test gives it a link to an emulated unit.
#pragma once

#include "link/ErrorLatch.h"
#include "link/PortOpening.h"
#include "link/RestoreFile.h"
#include "support/EventLog.h"
#include "support/UnitErrors.h"

#include <cstdint>
#include <functional>
#include <string>

class CPanelOperations;

namespace support {

inline constexpr char kProcessErrorFunction[] = "CLumen70App::ProcessError";
inline constexpr int kProcessErrorLine = 715;
// After the restart command and the link's own settle time, the unit needs this much more.
inline constexpr unsigned kRetrySettleMs = 2000;

struct UnitErrorServices {
    unitlink::ErrorLatch& latch;
    EventLog& log;
    // The unit link and its lock, taken around every unit access and never across a box or dialog.
    unitlink::UnitLink& link;
    unitlink::RestoreFileStore& files;
    std::string restorePath;
    // Whether the unit grants technical-menu access now.
    std::function<bool()> technicalAccess;
    // Refreshes the shot records from the unit, copying nothing out.
    std::function<void()> refreshShotInfo;
    // Milliseconds of a steady clock, and a plain wait.
    std::function<uint64_t()> nowMs;
    std::function<void(unsigned ms)> wait;
    RepeatedErrorFilter& repeats;
};

// Handles the latched error (if any) and clears the latch, whatever happened.
void HandleUnitError(CPanelOperations& panel, UnitErrorServices& services);

// "%s n°%d" of the error word and the code: the caption of every box and dialog of an error.
std::string ErrorCaption(int32_t code);

} // namespace support
