// The heating-voltage calibration: the unit runs one exposure per kV set point and stores the heating
// value it found; the dialog starts the sequence, follows it row by row and asks the unit to keep
// the results.
#pragma once

#include "service/CalibrationMath.h"
#include "service/ServiceContext.h"

class CEtalonnageHeat : public service::ServiceDialog {
public:
    CEtalonnageHeat(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    void SetCell(int row, int column, const std::string& text);
    void ShowHeatingValue(const unitlink::CalibrationTable& table, int row);

    service::HeatingFollower m_follower;
};

namespace service {

// The panel's heating calibration: the panel is told for the dialog's life, and gets a moment to stop
// treating the unit as in the background before the dialog talks to it. IDOK after Save.
INT_PTR RunHeatingCalibration(HWND parent, ServiceContext& context);

} // namespace service
