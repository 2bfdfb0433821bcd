// Leaving the unit's calibration mode.
#include "service/CalibrationMode.h"

namespace service {

namespace {
constexpr uint16_t kExposureWithImage = 0x0107;
constexpr uint16_t kPanoramicProgram = 0x7004;
} // namespace

void LeaveCalibrationMode(ServiceContext& context) {
    {
        LinkSection section(context.link);
        if (section.Get()) {
            section.Get()->WriteCommand(kExposureWithImage);
            section.Get()->WriteCommand(kPanoramicProgram);
        }
    }
    if (context.refreshSelection)
        context.refreshSelection();
}

} // namespace service
