// The unit error dialogs and the details viewer: texts from the language library, unit commands
// under the link lock, which is never held while a box is open.
#include "support/ErrorDialogs.h"

#include "nxlang/TextIds.h"
#include "platform/Module.h"
#include "resources/ErrorDialogIds.h"

#include <fstream>
#include <iterator>

namespace {

namespace Text = nxlang::ErrorDialog;
namespace Common = nxlang::Common;

void SetItemText(HWND dialog, int id, UINT textId) {
    ::SetDlgItemTextA(dialog, id, platform::LoadText(textId).c_str());
}

void SetSystemIcon(HWND dialog, LPCSTR icon) {
    ::SendDlgItemMessageA(dialog, IDC_ERR_ICON, STM_SETICON,
                          reinterpret_cast<WPARAM>(::LoadIconA(nullptr, icon)), 0);
}

// One command word under the lock; false without a link or when the unit refused it.
bool SendUnitCommand(unitlink::UnitLink& link, uint16_t command) {
    support::LockGuard guard(link.Lock());
    unitlink::CJbus* jbus = guard.owns() ? link.Get() : nullptr;
    return jbus && jbus->WriteCommand(command);
}

// Far more than any unit information file; the viewer never loads an unbounded file.
constexpr std::streamsize kMaxDetailsBytes = 1 << 20;

} // namespace

CErrConsigne::CErrConsigne(HWND parent, int code, unitlink::UnitLink& link)
    : Dialog(IDD_ERR_CONSIGNE, parent), m_code(code), m_link(link) {}

BOOL CErrConsigne::OnInitDialog() {
    HWND wnd = GetHwnd();
    ::SetWindowTextA(wnd, support::ErrorCaption(m_code).c_str());
    const bool tableDamaged = m_code == 55;
    SetSystemIcon(wnd, tableDamaged ? IDI_HAND : IDI_EXCLAMATION);
    SetItemText(wnd, IDC_INFO, tableDamaged ? Text::SetPointTableError : Text::SetPointInfo);
    SetItemText(wnd, IDC_INFO_GENERAL, tableDamaged ? Text::SetPointTableAdvice : Text::SetPointAdvice);
    SetItemText(wnd, IDC_QUESTION, tableDamaged ? Text::SetPointTableAction : Text::GeneralAdvice);
    SetItemText(wnd, IDOK, Common::Ok);
    return TRUE;
}

void CErrConsigne::OnOK() {
    // A refused acknowledge is latched by the link; the dialog closes all the same.
    SendUnitCommand(m_link, support::kAcknowledgeCommand);
    EndDialog(IDOK);
}

CErrEtalFab::CErrEtalFab(HWND parent, int code, support::UnitErrorServices& services)
    : Dialog(IDD_ERR_ETALFAB, parent), m_code(code), m_services(services) {}

BOOL CErrEtalFab::OnInitDialog() {
    HWND wnd = GetHwnd();
    ::SetWindowTextA(wnd, support::ErrorCaption(m_code).c_str());
    SetSystemIcon(wnd, IDI_HAND);
    if (const support::DataBlockSpec* block = support::DataBlockFor(m_code))
        SetItemText(wnd, IDC_INFO, block->infoText);
    SetItemText(wnd, IDC_INFO_GENERAL, Text::GeneralAdvice);
    SetItemText(wnd, IDC_RESTAURER, Common::Restore);
    SetItemText(wnd, IDC_REESSAYER, Common::Retry);
    SetItemText(wnd, IDC_QUITTER, Common::Quit);
    SetItemText(wnd, IDC_REINIT, Common::Reinitialise);
    // Reinitialising the unit is for the technician only; hidden, it must not answer the keyboard either.
    const bool technician = m_services.technicalAccess && m_services.technicalAccess();
    HWND reinit = GetItem(IDC_REINIT);
    ::ShowWindow(reinit, technician ? SW_SHOW : SW_HIDE);
    ::EnableWindow(reinit, technician ? TRUE : FALSE);
    return TRUE;
}

bool CErrEtalFab::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_RESTAURER:
        OnRestore();
        return true;
    case IDC_REESSAYER:
        OnRetry();
        return true;
    case IDC_QUITTER:
        EndDialog(1);
        return true;
    case IDC_REINIT:
        OnReinit();
        return true;
    default:
        return false;
    }
}

void CErrEtalFab::OnRestore() {
    const support::DataBlockSpec* block = support::DataBlockFor(m_code);
    if (block) {
        unitlink::UnitLink& link = m_services.link;
        const support::BlockRestore result = support::RestoreDataBlock(
            link.Get(), link.Lock(), m_services.files, m_services.restorePath, *block);
        if (result == support::BlockRestore::FileMissing || result == support::BlockRestore::FileTooShort) {
            const char* why = result == support::BlockRestore::FileMissing ? "missing" : "too short";
            m_services.log.WriteLogEntry(support::kLogLevelError,
                                         std::string("Restore file ") + why + ": block not restored",
                                         "CErrEtalFab::OnRestore", __LINE__);
        }
    }
    EndDialog(0);
}

void CErrEtalFab::OnRetry() {
    // The link itself waits after the restart command; the unit needs a little longer.
    SendUnitCommand(m_services.link, support::kRestartCommand);
    if (m_services.wait)
        m_services.wait(support::kRetrySettleMs);
    EndDialog(0);
}

void CErrEtalFab::OnReinit() {
    const std::string question = platform::LoadText(nxlang::Message::ConfirmReset);
    if (::MessageBoxA(GetHwnd(), question.c_str(), "", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    unitlink::UnitLink& link = m_services.link;
    support::LockGuard guard(link.Lock());
    unitlink::CJbus* jbus = guard.owns() ? link.Get() : nullptr;
    if (jbus && jbus->WriteCommand(support::kReinitialiseCommand)) {
        jbus->WriteCommand(support::kAcknowledgeCommand);
        EndDialog(0);
    }
}

CDetailsDialog::CDetailsDialog(HWND parent, std::string infoPath)
    : Dialog(IDD_DETAILS, parent), m_infoPath(std::move(infoPath)) {}

BOOL CDetailsDialog::OnInitDialog() {
    HWND wnd = GetHwnd();
    ::SetWindowTextA(wnd, platform::LoadText(Text::DetailsTitle).c_str());
    SetItemText(wnd, IDOK, Common::Ok);
    std::ifstream file(m_infoPath, std::ios::binary);
    if (!file)
        return TRUE;
    std::string content(static_cast<std::size_t>(kMaxDetailsBytes), '\0');
    file.read(content.data(), kMaxDetailsBytes);
    content.resize(static_cast<std::size_t>(file.gcount()));
    // The edit control breaks lines only at CR LF.
    std::string shown;
    shown.reserve(content.size() + content.size() / 16);
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' && (i == 0 || content[i - 1] != '\r'))
            shown += '\r';
        shown += content[i];
    }
    ::SetDlgItemTextA(wnd, IDC_DETAILS_TEXT, shown.c_str());
    // Focus on OK: a focused edit would show the whole file selected.
    ::SetFocus(GetItem(IDOK));
    return FALSE;
}
