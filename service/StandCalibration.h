// The stand calibration: starts the unit's own measurement of the stand, shows the travel length and
// the limit-switch hysteresis as the unit finds them, and stores the two mechanical offsets typed by
// the technician.
#pragma once

#include "service/ServiceContext.h"

class CEtalonnageDialog : public service::ServiceDialog {
public:
    CEtalonnageDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    void OnCalibrate();
    void OnSave();
    void ShowLiveValues(const unitlink::CalibrationTable& table);

    bool m_cephalometricOffset = false; // protocol 2 units keep the cephalometric stand offset
};

namespace service {

// The panel's stand calibration. Unlike the other calibrations the panel is not told: the unit runs
// this one on its own. 0 after Save, IDCANCEL otherwise.
INT_PTR RunStandCalibration(HWND parent, ServiceContext& context);

} // namespace service
