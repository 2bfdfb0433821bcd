// The preferences dialog: one copy of the unit's preference block for the dialog's life, value cells
// drawn from it on demand, and every command followed by a re-read.
#include "service/PreferenceDialog.h"

#include "nxlang/TextIds.h"
#include "resources/ServiceDialogIds.h"
#include "service/ServiceRules.h"

namespace {
namespace Text = nxlang::Preferences;
namespace Common = nxlang::Common;

constexpr uint16_t kPreferencesRewritten = 0x0481;
constexpr uint16_t kPreferencesDefaults = 0x0482;
constexpr uint16_t kSetPointsDefaults = 0x0382;

// A refused cell is reported after the edit has ended, never from inside its focus change.
constexpr UINT kCellRefusedMessage = WM_APP + 1;

constexpr UINT kRowTexts[] = {Text::AdultOffsetRow, Text::AdultReferenceRow, Text::ChildOffsetRow,
                              Text::ChildReferenceRow};
constexpr int kRowColumnWidth = 160;
constexpr int kValueColumnWidth = 90;
constexpr DWORD kTableExtendedStyles = LVS_EX_GRIDLINES | 0x200;
constexpr int kDoseEntries = 2;
constexpr int kRestEntries = 3;
} // namespace

CPreferenceDialog::CPreferenceDialog(HWND parent, service::ServiceContext& context)
    : ServiceDialog(IDD_PREFERENCES, parent, context) {}

BOOL CPreferenceDialog::OnInitDialog() {
    service::LinkSection section(m_context.link);
    ServiceDialog::OnInitDialog();
    SetTitle(Text::Title);
    SetText(IDC_PREF_DOSE_LABEL, Text::DoseUnitLabel);
    SetText(IDC_PREF_REST_LABEL, Text::RestPositionLabel);
    SetText(IDC_PREF_FRAME, Text::CompensationFrame);
    SetText(IDC_PREF_RESET_USER, Text::ResetUserPreferences);
    SetText(IDC_PREF_RESET_SETPOINTS, Common::ResetSetPoints);
    SetText(IDC_PREF_SAVE, Common::Save);
    SetText(IDCANCEL, Common::Cancel);
    FillList(IDC_PREF_DOSE, {Text::DoseMilligray, Text::DoseAreaProduct});
    FillList(IDC_PREF_REST, {Text::RestLow, Text::RestMiddle, Text::RestHigh});

    // Protocol 1 units have no dose-unit choice.
    const BOOL doseChoice = section.Get() && section.Get()->GetProtocolVersion() != 1;
    ::EnableWindow(GetItem(IDC_PREF_DOSE_LABEL), doseChoice);
    ::EnableWindow(GetItem(IDC_PREF_DOSE), doseChoice);

    m_table.AttachDlgItem(GetHwnd(), IDC_PREF_TABLE);
    HWND table = m_table.GetHwnd();
    ::SendMessageA(table, LVM_SETEXTENDEDLISTVIEWSTYLE, kTableExtendedStyles, kTableExtendedStyles);
    const UINT columnTexts[] = {Text::PatientColumn, Text::SlimColumn, Text::NormalColumn, Text::LargeColumn};
    for (int c = 0; c < 4; ++c) {
        const std::string caption = m_context.text(columnTexts[c]);
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_CENTER;
        column.cx = c == 0 ? kRowColumnWidth : kValueColumnWidth;
        column.pszText = const_cast<char*>(caption.c_str());
        column.iSubItem = c;
        ::SendMessageA(table, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    m_table.SetCellText(
        [this](int row, int column) { return service::CompensationCellText(m_block.block(), row, column); });
    m_table.SetAcceptEdit([this](int row, int, const std::string& text) {
        if (service::CompensationCellWord(text, row))
            return true;
        ::PostMessageA(GetHwnd(), kCellRefusedMessage, 0, 0);
        return false;
    });
    InsertRows();
    if (section.Get())
        m_block.Read(*section.Get()); // a failed read shows zeros and is never written back
    ShowBlock();
    return TRUE;
}

void CPreferenceDialog::InsertRows() {
    HWND table = m_table.GetHwnd();
    ::SendMessageA(table, LVM_DELETEALLITEMS, 0, 0);
    for (int r = 0; r < unitlink::PreferenceBlock::kCompensationRows; ++r) {
        const std::string caption = m_context.text(kRowTexts[r]);
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = r;
        item.pszText = const_cast<char*>(caption.c_str());
        ::SendMessageA(table, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = unitlink::PreferenceBlock::kFirstCompensationColumn;
             c <= unitlink::PreferenceBlock::kLastCompensationColumn; ++c) {
            LVITEMA cell{};
            cell.iSubItem = c;
            cell.pszText = LPSTR_TEXTCALLBACKA;
            ::SendMessageA(table, LVM_SETITEMTEXTA, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&cell));
        }
    }
}

void CPreferenceDialog::ShowBlock() {
    const unitlink::PreferenceBlock& block = m_block.block();
    Select(IDC_PREF_DOSE, service::SelectionIndex(block.DoseUnit(), kDoseEntries));
    Select(IDC_PREF_REST, service::SelectionIndex(block.StandRestPosition(), kRestEntries));
}

INT_PTR CPreferenceDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kCellRefusedMessage) {
        Message(nxlang::SaveRestore::InvalidCell, MB_OK | MB_ICONEXCLAMATION);
        return TRUE;
    }
    return ServiceDialog::DialogProc(msg, wParam, lParam);
}

bool CPreferenceDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_PREF_SAVE:
        OnSave();
        return true;
    case IDC_PREF_RESET_USER:
        if (Message(nxlang::Message::ConfirmReset, MB_YESNO | MB_ICONQUESTION) == IDYES)
            ApplyCommand(kPreferencesDefaults);
        return true;
    case IDC_PREF_RESET_SETPOINTS:
        ApplyCommand(kSetPointsDefaults);
        return true;
    default:
        return false;
    }
}

void CPreferenceDialog::ApplyCommand(uint16_t command) {
    bool done = false, reread = false;
    {
        service::LinkSection section(m_context.link);
        if (section.Get() && section.Get()->WriteCommand(command)) {
            done = true;
            reread = m_block.Read(*section.Get());
            ShowBlock();
            // Every value cell shows the block's value again, typed texts included.
            InsertRows();
            if (m_context.refreshSelection)
                m_context.refreshSelection();
        }
    }
    if (!done || !reread)
        Message(Text::CommandRefused, MB_OK | MB_ICONEXCLAMATION);
}

void CPreferenceDialog::OnSave() {
    if (!m_block.IsFromUnit()) {
        // Written back, the zeroed copy would replace the words this dialog does not own.
        Message(nxlang::SaveRestore::UnitNotRead, MB_OK | MB_ICONSTOP);
        return;
    }
    unitlink::PreferenceBlock& block = m_block.block();
    unitlink::PreferenceBlock edited = block;
    edited.SetDoseUnit(service::SelectionWord(Selection(IDC_PREF_DOSE), block.DoseUnit()));
    edited.SetStandRestPosition(service::SelectionWord(Selection(IDC_PREF_REST), block.StandRestPosition()));
    HWND table = m_table.GetHwnd();
    for (int r = 0; r < unitlink::PreferenceBlock::kCompensationRows; ++r) {
        for (int c = unitlink::PreferenceBlock::kFirstCompensationColumn;
             c <= unitlink::PreferenceBlock::kLastCompensationColumn; ++c) {
            char text[service::kCellTextMax + 1] = {};
            LVITEMA item{};
            item.iSubItem = c;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            ::SendMessageA(table, LVM_GETITEMTEXTA, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
            const auto word = service::CompensationCellWord(text, r);
            if (!word) {
                Message(nxlang::SaveRestore::InvalidCell, MB_OK | MB_ICONEXCLAMATION);
                return;
            }
            edited.SetCompensationCell(r, c, *word);
        }
    }
    block = edited;
    {
        service::LinkSection section(m_context.link);
        if (section.Get())
            m_block.WriteBack(*section.Get()); // a failed write shows in the values read back
    }
    static_assert(unitlink::BlocksRewrittenCommand(unitlink::kPreferencesMask) == kPreferencesRewritten);
    ApplyCommand(kPreferencesRewritten);
    service::RefreshRestoreFile(m_context);
    EndDialog(0);
}
