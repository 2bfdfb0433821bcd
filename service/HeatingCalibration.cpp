// Heating-voltage calibration. The unit chooses the set point and stores each value itself; the dialog
// only reads, so Save writes nothing into the table. Whatever closes the window, the unit leaves the
// calibration mode.
#include "service/HeatingCalibration.h"

#include "link/BlockUpdate.h"
#include "nxlang/TextIds.h"
#include "resources/CalibrationDialogIds.h"
#include "service/CalibrationMode.h"

#include <commctrl.h>

namespace {
namespace Text = nxlang::Calibration;
namespace Common = nxlang::Common;

constexpr UINT_PTR kFollowTimer = 10;
constexpr UINT kFollowPeriodMs = 500;
constexpr uint16_t kStartHeatingCalibration = 0x0704;
constexpr uint16_t kCalibrationStored = unitlink::BlocksRewrittenCommand(unitlink::kCalibrationTableMask);
constexpr int kRows = service::HeatingFollower::kRows;

enum Column { kStatusColumn, kKvColumn, kValueColumn };
struct ListColumn {
    UINT heading;
    int width;
};
// Wide enough for the texts they hold: a 20-pixel status column showed only an ellipsis.
constexpr ListColumn kColumns[] = {{Text::DoneColumn, 40}, {Text::KvUnit, 60}, {Text::HeatingColumn, 90}};
} // namespace

CEtalonnageHeat::CEtalonnageHeat(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_HEATING_CALIBRATION, parent, context) {
    m_announce = false; // the run tells the panel, before its pause
}

BOOL CEtalonnageHeat::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(Text::HeatingTitle);
    SetText(IDOK, Common::Save);
    SetText(IDCANCEL, Common::Cancel);
    SetText(IDC_HEAT_INSTRUCTION, Text::HeatingInstruction);
    SetText(IDC_HEAT_PREREQUISITE, Text::HeatingPrerequisite);
    ::SendDlgItemMessageA(GetHwnd(), IDC_HEAT_ICON, STM_SETICON,
                          reinterpret_cast<WPARAM>(::LoadIconA(nullptr, IDI_EXCLAMATION)), 0);
    HWND list = GetItem(IDC_HEAT_LIST);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        const std::string heading = m_context.text(kColumns[c].heading);
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_CENTER;
        column.cx = kColumns[c].width;
        column.pszText = const_cast<char*>(heading.c_str());
        column.iSubItem = c;
        ::SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }

    service::LinkSection section(m_context.link);
    unitlink::UnitBlock<unitlink::CalibrationTable> table;
    if (section.Get())
        table.Read(*section.Get());
    const std::string pending = m_context.text(Text::RowPending);
    for (int i = 0; i < kRows; ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char*>(pending.c_str());
        ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        SetCell(i, kKvColumn,
                std::to_string(unitlink::CalibrationTable::kFirstHeatingKv +
                               unitlink::CalibrationTable::kHeatingKvStep * i));
        ShowHeatingValue(table.block(), i);
    }
    ::SendDlgItemMessageA(GetHwnd(), IDC_HEAT_PROGRESS, PBM_SETRANGE32, 0, kRows);
    ::SendDlgItemMessageA(GetHwnd(), IDC_HEAT_PROGRESS, PBM_SETPOS, 0, 0);
    m_follower = {};
    if (section.Get())
        section.Get()->WriteCommand(kStartHeatingCalibration); // the rows show whether the unit follows
    ::SetTimer(GetHwnd(), kFollowTimer, kFollowPeriodMs, nullptr);
    if (m_context.refreshSelection)
        m_context.refreshSelection();
    return TRUE;
}

void CEtalonnageHeat::SetCell(int row, int column, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    ::SendDlgItemMessageA(GetHwnd(), IDC_HEAT_LIST, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                          reinterpret_cast<LPARAM>(&item));
}

void CEtalonnageHeat::ShowHeatingValue(const unitlink::CalibrationTable& table, int row) {
    SetCell(row, kValueColumn, std::to_string(table.HeatingValue(row)));
}

void CEtalonnageHeat::OnTimer(UINT_PTR id) {
    if (id != kFollowTimer)
        return;
    service::LinkSection section(m_context.link);
    unitlink::CJbus* link = section.Get();
    uint16_t state = 0;
    unitlink::SelectionRecord selection;
    unitlink::UnitBlock<unitlink::CalibrationTable> table;
    // A tick that could not hear the unit decides nothing: zeros would read as set point 0.
    if (!link || !link->ReadUnitState(&state) || !link->ReadSelection(&selection) || !table.Read(*link))
        return;
    const service::HeatingTick tick = m_follower.Tick(service::CycleRunning(state), service::HeatingIndex(selection));
    if (tick.doneRow >= 0)
        SetCell(tick.doneRow, kStatusColumn, m_context.text(Text::RowDone));
    if (tick.barPosition >= 0)
        ::SendDlgItemMessageA(GetHwnd(), IDC_HEAT_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(tick.barPosition), 0);
    for (int row : tick.valueRows)
        if (row >= 0)
            ShowHeatingValue(table.block(), row);
}

void CEtalonnageHeat::OnOK() {
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            section.Get()->WriteCommand(kCalibrationStored);
    }
    service::RefreshRestoreFile(m_context);
    EndDialog(IDOK);
}

void CEtalonnageHeat::OnDestroy() {
    ::KillTimer(GetHwnd(), kFollowTimer);
    service::LeaveCalibrationMode(m_context);
    ServiceDialog::OnDestroy();
}

namespace service {

INT_PTR RunHeatingCalibration(HWND parent, ServiceContext& context) {
    CEtalonnageHeat dialog(parent, context);
    if (context.serviceDialogOpen)
        context.serviceDialogOpen(true);
    ::Sleep(kCalibrationOpeningDelayMs);
    const INT_PTR result = dialog.DoModal();
    if (context.serviceDialogOpen)
        context.serviceDialogOpen(false);
    return result;
}

} // namespace service
