// kV/mA calibration. A step puts the chain's coefficients to the identity so the unit's raw reading
// and the meter's can be compared; the coefficient dialog turns the two steps into new coefficients.
// A run that does not end with Save writes the earlier coefficients back, so the unit is never left
// uncalibrated.
#include "service/KvMaCalibration.h"

#include "link/BlockUpdate.h"
#include "nxlang/TextIds.h"
#include "resources/CalibrationDialogIds.h"
#include "service/CalibrationMode.h"

#include <optional>

namespace {
namespace Text = nxlang::Calibration;
namespace Common = nxlang::Common;

constexpr UINT_PTR kCaptureTimer = 1;
constexpr UINT kCapturePeriodMs = 200;
// The unit needs this long after the step command before its shot record holds the step's set point;
// the lock stays held so no other request comes between.
constexpr DWORD kSetPointSettleMs = 500;
constexpr uint16_t kCalibrationStored = unitlink::BlocksRewrittenCommand(unitlink::kCalibrationTableMask);
static_assert(kCalibrationStored == 0x0181);

constexpr int kCoefficientFields[] = {IDC_CAL_COMMAND_GAIN, IDC_CAL_COMMAND_OFFSET, IDC_CAL_MEASURE_GAIN,
                                      IDC_CAL_MEASURE_OFFSET};

void CopyPairs(const service::SeriesReadings& from, float setPoints[2], float unitReadings[2],
               float meterReadings[2]) {
    for (std::size_t i = 0; i < 2; ++i) {
        setPoints[i] = from.setPoints[i];
        unitReadings[i] = from.unitReadings[i];
        meterReadings[i] = from.meterReadings[i];
    }
}

void FillPairs(service::SeriesReadings& to, const float setPoints[2], const float unitReadings[2],
               const float meterReadings[2]) {
    for (std::size_t i = 0; i < 2; ++i) {
        to.setPoints[i] = setPoints[i];
        to.unitReadings[i] = unitReadings[i];
        to.meterReadings[i] = meterReadings[i];
    }
}
} // namespace

// ---- Step -----------------------------------------------------------------------------------------

CEtalonnageKvMA12::CEtalonnageKvMA12(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_CALIBRATION_STEP, parent, context) {
    m_announce = false; // the run tells the panel once for all its dialogs
}

void CEtalonnageKvMA12::GetKvResults(float setPoints[2], float unitReadings[2], float meterReadings[2]) const {
    CopyPairs({m_kvChain.setPoints, m_kvChain.unitReadings, m_kvChain.meterReadings}, setPoints, unitReadings,
              meterReadings);
}

void CEtalonnageKvMA12::GetMaResults(float setPoints[2], float unitReadings[2], float meterReadings[2]) const {
    CopyPairs({m_maChain.setPoints, m_maChain.unitReadings, m_maChain.meterReadings}, setPoints, unitReadings,
              meterReadings);
}

BOOL CEtalonnageKvMA12::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    ::SetWindowTextA(GetHwnd(), (m_context.text(m_kv ? Text::KvTitle : Text::MaTitle) +
                                 m_context.text(m_step == 1 ? Text::StepOne : Text::StepTwo))
                                    .c_str());
    SetText(IDOK, Text::Next);
    SetText(IDCANCEL, Common::Cancel);
    SetText(IDC_CAL_INSTRUCTION, Text::StepInstruction);
    SetText(IDC_CAL_ROW_LABEL, Text::MeasureHeading);
    SetText(IDC_CAL_METER_HEADING, m_kv ? Text::Voltmeter : Text::Ammeter);
    SetText(IDC_CAL_UNIT_HEADING, Text::UnitReadingHeading);
    SetText(IDC_CAL_SET_POINT_HEADING, Text::SetPointHeading);
    for (int id : {IDC_CAL_UNIT_1, IDC_CAL_UNIT_2, IDC_CAL_UNIT_3})
        SetText(id, m_kv ? Text::KvUnit : Text::MaUnit);
    ::SendDlgItemMessageA(GetHwnd(), IDC_CAL_METER, EM_LIMITTEXT, service::kNumberTextMax, 0);

    // A reading of an earlier series is not this step's exposure.
    m_captureDone = true;
    m_interrupted = false;
    Current().measured[Index()] = false;
    Current().unitReadings[Index()] = 0.0f;
    SetItem(IDC_CAL_UNIT_READING, "");
    StartStep();
    return FALSE; // the focus is on the meter field, or the dialog is ending
}

void CEtalonnageKvMA12::StartStep() {
    unitlink::ShotResultRecord shot;
    enum class Opening { Started, TableNotRead, Refused } opening = Opening::TableNotRead;
    {
        service::LinkSection section(m_context.link);
        unitlink::CJbus* link = section.Get();
        unitlink::UnitBlock<unitlink::CalibrationTable> table;
        if (link && table.Read(*link)) {
            service::SetTableCoefficients(table.block(), m_kv, service::ChainCoefficients{});
            m_identityWritten = true;
            // Readings taken over the earlier coefficients would be computed as if raw: no step then.
            opening = Opening::Refused;
            if (table.WriteBack(*link)) {
                // Both messages are shown with the link held: nothing reaches the unit in between.
                if (!link->WriteCommand(kCalibrationStored))
                    Message(Text::CommandRefused, MB_OK | MB_ICONEXCLAMATION);
                if (!link->WriteCommand(service::CalibrationStepCommand(m_kv, m_step)))
                    Message(Text::CommandRefused, MB_OK | MB_ICONEXCLAMATION);
                ::Sleep(kSetPointSettleMs);
                // Without the shot record the set point would read 0 and every reading would fail.
                if (link->ReadShotResult(&shot))
                    opening = Opening::Started;
            }
        }
    }
    if (opening != Opening::Started) {
        // Writing the identity over a block that was not read would wipe the whole table.
        Message(opening == Opening::TableNotRead ? Text::TableNotRead : Text::CommandRefused, MB_OK | MB_ICONSTOP);
        EndDialog(IDCANCEL);
        return;
    }
    const float setPoint = service::StepSetPoint(m_kv, shot);
    Current().setPoints[Index()] = setPoint;
    SetItem(IDC_CAL_SET_POINT, service::FixedText(setPoint, 1));
    ::SetFocus(GetItem(IDC_CAL_METER));
    if (m_context.refreshSelection)
        m_context.refreshSelection();
    ::SetTimer(GetHwnd(), kCaptureTimer, kCapturePeriodMs, nullptr);
}

void CEtalonnageKvMA12::OnTimer(UINT_PTR id) {
    if (id != kCaptureTimer)
        return;
    bool interruptedNow = false;
    {
        service::LinkSection section(m_context.link);
        unitlink::CJbus* link = section.Get();
        uint16_t state = 0;
        if (!link || !link->ReadUnitState(&state))
            return; // a tick without the unit decides nothing
        if (service::CycleRunning(state)) {
            m_captureDone = false;
            m_interrupted = m_interrupted || service::CycleInterrupted(state);
            return;
        }
        if (m_captureDone)
            return;
        if (m_interrupted) {
            // A stopped exposure did not run at the set point for its full time: no reading.
            m_captureDone = true;
            m_interrupted = false;
            Current().measured[Index()] = false;
            interruptedNow = true;
        } else {
            unitlink::MeasurementRecord measurements;
            if (!link->ReadMeasurements(&measurements))
                return; // try again at the next tick
            m_captureDone = true;
            const float reading = service::UnitReading(m_kv, measurements);
            Current().unitReadings[Index()] = reading;
            Current().measured[Index()] = true;
            SetItem(IDC_CAL_UNIT_READING, service::FixedText(reading, 2));
        }
    }
    if (interruptedNow) {
        SetItem(IDC_CAL_UNIT_READING, "");
        ::KillTimer(GetHwnd(), kCaptureTimer); // no tick inside the message box's own loop
        Message(Text::ExposureIncomplete, MB_OK | MB_ICONEXCLAMATION);
        ::SetTimer(GetHwnd(), kCaptureTimer, kCapturePeriodMs, nullptr);
    }
}

void CEtalonnageKvMA12::OnOK() {
    Chain& chain = Current();
    const std::size_t i = Index();
    if (!chain.measured[i]) {
        Message(Text::ExposureIncomplete, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::optional<double> meter = service::ParseMeterReading(ItemText(IDC_CAL_METER));
    if (!meter) {
        Message(Text::NotANumber, MB_OK | MB_ICONEXCLAMATION);
        ::SetFocus(GetItem(IDC_CAL_METER));
        return;
    }
    chain.meterReadings[i] = static_cast<float>(*meter);
    const service::StepVerdict verdict =
        service::CheckStep(m_kv, chain.setPoints[i], chain.unitReadings[i], chain.meterReadings[i]);
    if (verdict.unitOutside)
        Message(Text::UnitReadingOutOfTolerance, MB_OK | MB_ICONEXCLAMATION);
    if (verdict.meterOutside)
        Message(Text::MeterReadingOutOfTolerance, MB_OK | MB_ICONEXCLAMATION);
    EndDialog(verdict.Accepted() ? IDOK : IDCANCEL);
}

void CEtalonnageKvMA12::OnDestroy() {
    ::KillTimer(GetHwnd(), kCaptureTimer);
    ServiceDialog::OnDestroy();
}

// ---- Coefficients ---------------------------------------------------------------------------------

CEtalonnageKvMa3::CEtalonnageKvMa3(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_CALIBRATION_COEFFICIENTS, parent, context) {
    m_announce = false;
}

void CEtalonnageKvMa3::SetKvInputs(const float setPoints[2], const float unitReadings[2],
                                   const float meterReadings[2]) {
    FillPairs(m_kvInputs, setPoints, unitReadings, meterReadings);
}

void CEtalonnageKvMa3::SetMaInputs(const float setPoints[2], const float unitReadings[2],
                                   const float meterReadings[2]) {
    FillPairs(m_maInputs, setPoints, unitReadings, meterReadings);
}

BOOL CEtalonnageKvMa3::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(m_kv ? Text::KvTitle : Text::MaTitle);
    SetText(IDOK, Common::Save);
    SetText(IDCANCEL, Common::Cancel);
    SetText(IDC_CAL_START, Text::Start);
    SetText(IDC_CAL_RESULTS_FRAME, Text::ResultsFrame);
    SetText(IDC_CAL_COMMAND_HEADING, Text::CommandHeading);
    SetText(IDC_CAL_MEASURE_HEADING, Text::MeasureHeading);
    SetText(IDC_CAL_GAIN_LABEL, Text::GainLabel);
    SetText(IDC_CAL_OFFSET_LABEL, Text::OffsetLabel);
    for (int id : kCoefficientFields)
        ::SendDlgItemMessageA(GetHwnd(), id, EM_LIMITTEXT, service::kNumberTextMax, 0);

    std::optional<service::ChainCoefficients> shown;
    if (m_startPhase) {
        service::LinkSection section(m_context.link);
        unitlink::UnitBlock<unitlink::CalibrationTable> table;
        if (section.Get() && table.Read(*section.Get()))
            shown = service::TableCoefficients(table.block(), m_kv);
    } else {
        shown = service::ComputeCoefficients(m_kv ? m_kvInputs : m_maInputs);
    }
    if (!shown) {
        if (m_startPhase) {
            // Zeros saved from here would replace the unit's calibration: Save waits for a good read.
            Message(Text::TableNotRead, MB_OK | MB_ICONSTOP);
            ::EnableWindow(GetItem(IDOK), FALSE);
        } else {
            Message(Text::ResultsRefused, MB_OK | MB_ICONSTOP);
            EndDialog(IDCANCEL);
        }
        return TRUE;
    }
    const float values[] = {shown->commandGain, shown->commandOffset, shown->measureGain, shown->measureOffset};
    for (std::size_t i = 0; i < std::size(values); ++i)
        SetItem(kCoefficientFields[i], service::FixedText(values[i], 3));
    return TRUE;
}

bool CEtalonnageKvMa3::OnCommand(WPARAM wParam, LPARAM) {
    if (LOWORD(wParam) == IDC_CAL_START && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(kStartResult);
        return true;
    }
    return false;
}

void CEtalonnageKvMa3::OnOK() {
    // The operator's edits win over what was shown.
    float values[std::size(kCoefficientFields)] = {};
    for (std::size_t i = 0; i < std::size(kCoefficientFields); ++i) {
        const std::optional<double> value = service::ParseTypedNumber(ItemText(kCoefficientFields[i]));
        if (!value) {
            Message(Text::NotANumber, MB_OK | MB_ICONEXCLAMATION);
            ::SetFocus(GetItem(kCoefficientFields[i]));
            return;
        }
        values[i] = static_cast<float>(*value);
    }
    const service::ChainCoefficients coefficients{values[0], values[1], values[2], values[3]};
    unitlink::BlockUpdateResult result = unitlink::BlockUpdateResult::ReadFailed;
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            result = unitlink::UpdateBlock<unitlink::CalibrationTable>(
                *section.Get(), m_context.link.Lock(), [&](unitlink::CalibrationTable& table) {
                    service::SetTableCoefficients(table, m_kv, coefficients);
                });
    }
    if (result == unitlink::BlockUpdateResult::ReadFailed) {
        // Nothing was written; the technician may try again or cancel.
        Message(Text::TableNotRead, MB_OK | MB_ICONSTOP);
        return;
    }
    if (result != unitlink::BlockUpdateResult::Done) {
        // The unit may still hold the identity: Save again, or Cancel to get the earlier calibration back.
        Message(nxlang::Message::SaveFailed, MB_OK | MB_ICONSTOP);
        return;
    }
    service::RefreshRestoreFile(m_context);
    service::LeaveCalibrationMode(m_context);
    EndDialog(IDOK);
}

// ---- The run --------------------------------------------------------------------------------------

namespace service {

namespace {
// Gives the unit back the chain's coefficients held before the run; false when that failed.
bool RestoreCoefficients(ServiceContext& context, bool kv, const ChainCoefficients& before) {
    LinkSection section(context.link);
    if (!section.Get())
        return false;
    return unitlink::UpdateBlock<unitlink::CalibrationTable>(
               *section.Get(), context.link.Lock(), [&](unitlink::CalibrationTable& table) {
                   SetTableCoefficients(table, kv, before);
               }) == unitlink::BlockUpdateResult::Done;
}
} // namespace

INT_PTR RunKvMaCalibration(HWND parent, ServiceContext& context, bool kv) {
    CEtalonnageKvMA12 step(parent, context);
    CEtalonnageKvMa3 coefficients(parent, context);
    if (context.serviceDialogOpen)
        context.serviceDialogOpen(true);
    ::Sleep(kCalibrationOpeningDelayMs);

    std::optional<ChainCoefficients> before;
    {
        LinkSection section(context.link);
        unitlink::UnitBlock<unitlink::CalibrationTable> table;
        if (section.Get() && table.Read(*section.Get()))
            before = TableCoefficients(table.block(), kv);
    }

    coefficients.SetChain(kv);
    coefficients.SetStartPhase(true);
    INT_PTR result = coefficients.DoModal();
    while (result == CEtalonnageKvMa3::kStartResult) {
        step.SetChain(kv);
        step.SetStep(1);
        if (step.DoModal() != IDOK)
            break;
        step.SetStep(2);
        if (step.DoModal() != IDOK)
            break;
        float setPoints[2], unitReadings[2], meterReadings[2];
        if (kv) {
            step.GetKvResults(setPoints, unitReadings, meterReadings);
            coefficients.SetKvInputs(setPoints, unitReadings, meterReadings);
        } else {
            step.GetMaResults(setPoints, unitReadings, meterReadings);
            coefficients.SetMaInputs(setPoints, unitReadings, meterReadings);
        }
        coefficients.SetStartPhase(false);
        result = coefficients.DoModal();
    }

    const bool saved = result == IDOK;
    if (!saved) {
        // Save left the mode itself; every other end leaves it here, with the unit's calibration as
        // it was before the run.
        if (step.IdentityWritten() && !(before && RestoreCoefficients(context, kv, *before)))
            context.messageBox(parent, nxlang::Calibration::NotRestored, MB_OK | MB_ICONSTOP);
        LeaveCalibrationMode(context);
    }
    if (context.serviceDialogOpen)
        context.serviceDialogOpen(false);
    return saved ? IDOK : IDCANCEL;
}

} // namespace service
