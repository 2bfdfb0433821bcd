// Stand calibration. The dialog keeps nothing between operations: every one reads the unit's table
// afresh. The live refresh touches only the two measured fields, so what the technician is typing
// stays; a typed offset that is not a whole 16-bit number never reaches the unit.
#include "service/StandCalibration.h"

#include "link/BlockUpdate.h"
#include "nxlang/TextIds.h"
#include "resources/CalibrationDialogIds.h"
#include "service/CalibrationMath.h"
#include "service/CalibrationMode.h"

namespace {
namespace Text = nxlang::Stand;
namespace Common = nxlang::Common;

constexpr UINT_PTR kRefreshTimer = 10;
constexpr UINT kRefreshPeriodMs = 500;
constexpr uint16_t kStartStandCalibration = 0x0083;
constexpr int kProtocolWithoutCephalometricOffset = 1;
constexpr int kSavedResult = 0;
} // namespace

CEtalonnageDialog::CEtalonnageDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_STAND_CALIBRATION, parent, context) {
    m_announce = false;
}

BOOL CEtalonnageDialog::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(Text::Title);
    SetText(IDC_STAND_FRAME, Text::Frame);
    SetText(IDC_STAND_OFF_CENTRE_LABEL, Text::OffCentreLabel);
    SetText(IDC_STAND_TRAVEL_LABEL, Text::TravelLabel);
    SetText(IDC_STAND_HYSTERESIS_LABEL, Text::HysteresisLabel);
    SetText(IDC_STAND_CALIBRATE, Text::Calibrate);
    SetText(IDC_STAND_SAVE, Common::Save);
    SetText(IDCANCEL, Common::Cancel);

    service::LinkSection section(m_context.link);
    unitlink::UnitBlock<unitlink::CalibrationTable> table;
    if (section.Get())
        table.Read(*section.Get());
    SetItem(IDC_STAND_OFF_CENTRE, std::to_string(table.block().StandOffCentre()));
    ShowLiveValues(table.block());
    m_cephalometricOffset =
        section.Get() && section.Get()->GetProtocolVersion() != kProtocolWithoutCephalometricOffset;
    if (m_cephalometricOffset) {
        SetText(IDC_STAND_CEPH_LABEL, Text::CephOffsetLabel);
        SetItem(IDC_STAND_CEPH_OFFSET, std::to_string(table.block().CephalometricStandOffset()));
    } else {
        ::EnableWindow(GetItem(IDC_STAND_CEPH_LABEL), FALSE);
        ::EnableWindow(GetItem(IDC_STAND_CEPH_OFFSET), FALSE);
    }
    ::SetTimer(GetHwnd(), kRefreshTimer, kRefreshPeriodMs, nullptr);
    return TRUE;
}

void CEtalonnageDialog::ShowLiveValues(const unitlink::CalibrationTable& table) {
    SetItem(IDC_STAND_TRAVEL, std::to_string(table.StandTravelLength()));
    SetItem(IDC_STAND_HYSTERESIS, std::to_string(table.StandHysteresis()));
}

bool CEtalonnageDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_STAND_CALIBRATE:
        OnCalibrate();
        return true;
    case IDC_STAND_SAVE:
        OnSave();
        return true;
    default:
        return false;
    }
}

void CEtalonnageDialog::OnTimer(UINT_PTR id) {
    if (id != kRefreshTimer)
        return;
    unitlink::UnitBlock<unitlink::CalibrationTable> table;
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            table.Read(*section.Get());
    }
    // A failed read keeps what was shown rather than zeros the unit never measured.
    if (table.IsFromUnit())
        ShowLiveValues(table.block());
}

void CEtalonnageDialog::OnCalibrate() {
    service::LinkSection section(m_context.link);
    if (section.Get())
        section.Get()->WriteCommand(kStartStandCalibration);
}

void CEtalonnageDialog::OnSave() {
    const std::optional<int16_t> offCentre = service::ParseStandValue(ItemText(IDC_STAND_OFF_CENTRE));
    const std::optional<int16_t> cephalometric =
        m_cephalometricOffset ? service::ParseStandValue(ItemText(IDC_STAND_CEPH_OFFSET)) : std::optional<int16_t>{0};
    if (!offCentre || !cephalometric) {
        Message(nxlang::Calibration::StandValueInvalid);
        ::SetFocus(GetItem(offCentre ? IDC_STAND_CEPH_OFFSET : IDC_STAND_OFF_CENTRE));
        return;
    }
    {
        service::LinkSection section(m_context.link);
        unitlink::BlockUpdateResult result = unitlink::BlockUpdateResult::ReadFailed;
        if (section.Get())
            result = unitlink::UpdateBlock<unitlink::CalibrationTable>(
                *section.Get(), m_context.link.Lock(), [&](unitlink::CalibrationTable& table) {
                    table.SetStandOffCentre(*offCentre);
                    if (m_cephalometricOffset)
                        table.SetCephalometricStandOffset(*cephalometric);
                });
        if (result == unitlink::BlockUpdateResult::ReadFailed) {
            // Nothing was written: the technician may try again or cancel.
            Message(nxlang::Calibration::TableNotRead, MB_OK | MB_ICONSTOP);
            return;
        }
        // Shown with the link still held, so nobody talks to the unit before it is acknowledged.
        if (result != unitlink::BlockUpdateResult::Done)
            Message(nxlang::Message::SaveFailed);
    }
    service::RefreshRestoreFile(m_context);
    EndDialog(kSavedResult);
}

void CEtalonnageDialog::OnDestroy() {
    ::KillTimer(GetHwnd(), kRefreshTimer);
    service::LeaveCalibrationMode(m_context);
    ServiceDialog::OnDestroy();
}

namespace service {

INT_PTR RunStandCalibration(HWND parent, ServiceContext& context) {
    CEtalonnageDialog dialog(parent, context);
    return dialog.DoModal();
}

} // namespace service
