// The kV/mA calibration: the step dialog (one exposure at one set point against an external meter),
// the coefficient dialog (the chain's four coefficients, read or computed, edited and saved) and the
// run that chains them for the panel's service menu.
#pragma once

#include "service/CalibrationMath.h"
#include "service/ServiceContext.h"

#include <array>

class CEtalonnageKvMA12 : public service::ServiceDialog {
public:
    CEtalonnageKvMA12(HWND parent, service::ServiceContext& context);

    void SetChain(bool kv) noexcept { m_kv = kv; }
    void SetStep(int step) noexcept { m_step = step == 2 ? 2 : 1; }
    // The chain's pairs (steps 1 and 2): set points, unit readings, meter readings.
    void GetKvResults(float setPoints[2], float unitReadings[2], float meterReadings[2]) const;
    void GetMaResults(float setPoints[2], float unitReadings[2], float meterReadings[2]) const;
    // True once a step has set the chain's coefficients to the identity in the unit (or tried to).
    bool IdentityWritten() const noexcept { return m_identityWritten; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    struct Chain {
        std::array<float, 2> unitReadings{}, meterReadings{}, setPoints{};
        std::array<bool, 2> measured{}; // a complete exposure of the step was captured
    };
    Chain& Current() noexcept { return m_kv ? m_kvChain : m_maChain; }
    std::size_t Index() const noexcept { return static_cast<std::size_t>(m_step - 1); }
    void StartStep();

    bool m_kv = true;
    int m_step = 1;
    bool m_captureDone = true;
    bool m_interrupted = false; // the running cycle was stopped before its end
    bool m_identityWritten = false;
    Chain m_kvChain, m_maChain;
};

class CEtalonnageKvMa3 : public service::ServiceDialog {
public:
    static constexpr INT_PTR kStartResult = 10;

    CEtalonnageKvMa3(HWND parent, service::ServiceContext& context);

    void SetChain(bool kv) noexcept { m_kv = kv; }
    void SetStartPhase(bool start) noexcept { m_startPhase = start; }
    void SetKvInputs(const float setPoints[2], const float unitReadings[2], const float meterReadings[2]);
    void SetMaInputs(const float setPoints[2], const float unitReadings[2], const float meterReadings[2]);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;

private:
    bool m_kv = true;
    bool m_startPhase = true;
    service::SeriesReadings m_kvInputs, m_maInputs;
};

namespace service {

// The panel's kV (kv = true) or mA calibration: start phase, then series of two steps and their
// results until Save or Cancel. A run that ends without Save gives the unit back the coefficients it
// held before, and leaves the calibration mode. IDOK after Save, IDCANCEL otherwise.
INT_PTR RunKvMaCalibration(HWND parent, ServiceContext& context, bool kv);

} // namespace service
