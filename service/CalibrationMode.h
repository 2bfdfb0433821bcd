// What the three calibrations share: leaving the unit's calibration mode, and the pause the panel
// gets before a calibration dialog opens.
#pragma once

#include "service/ServiceContext.h"

namespace service {

// The panel has stopped treating the unit as in the background before the dialog talks to it.
inline constexpr DWORD kCalibrationOpeningDelayMs = 300;

// The unit leaves the calibration mode: exposures with image again (0x0107), the panoramic program
// (0x7004); then the panel re-reads the selection. Failures are not reported: the panel's own polling
// shows the unit as it is.
void LeaveCalibrationMode(ServiceContext& context);

} // namespace service
