// The system information dialog.
#include "about/SystemInfoDialog.h"

#include "about/AboutText.h"
#include "about/LogMail.h"
#include "about/PrintLog.h"
#include "nxlang/TextIds.h"
#include "resources/AboutDialogIds.h"

#include <commdlg.h>

#include <cstring>
#include <fstream>

namespace {

using namespace nxlang::About;

// The log text, or "" when the file cannot be read.
std::string ReadWholeFile(const std::string& path) {
    if (path.empty())
        return {};
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::string text;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0)
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
    // The edit shows the text up to a 0 byte; printing follows what the operator sees.
    text.resize(std::strlen(text.c_str()));
    return text;
}

} // namespace

CMoreAbout::CMoreAbout(HWND parent, service::ServiceContext& context, std::function<std::string()> logPath)
    : ServiceDialog(IDD_SYSTEM_INFO, parent, context), m_logPathOf(std::move(logPath)) {}

BOOL CMoreAbout::OnInitDialog() {
    ServiceDialog::OnInitDialog();
    SetTitle(SystemInfoTitle);
    SetText(IDOK, nxlang::Common::Ok);
    SetText(IDC_SYSINFO_PRINT, Print);
    SetText(IDC_SYSINFO_SEND, SendTo);
    m_logPath = m_logPathOf ? m_logPathOf() : std::string();
    SetItem(IDC_SYSINFO_PATH, m_logPath);
    m_logText = ReadWholeFile(m_logPath);
    // A log of a megabyte is more than the edit takes by default.
    ::SendMessageA(GetItem(IDC_SYSINFO_TEXT), EM_SETLIMITTEXT, 0, 0);
    SetItem(IDC_SYSINFO_TEXT, m_logText);
    ::SetFocus(GetItem(IDOK));
    return FALSE;
}

bool CMoreAbout::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_SYSINFO_PRINT:
        OnPrint();
        return true;
    case IDC_SYSINFO_SEND:
        OnSendTo();
        return true;
    default:
        return false;
    }
}

void CMoreAbout::OnOK() {
    m_logText.clear();
    m_logText.shrink_to_fit();
    EndDialog(IDOK);
}

void CMoreAbout::OnDestroy() {
    m_logText.clear();
    m_logText.shrink_to_fit();
    ServiceDialog::OnDestroy();
}

void CMoreAbout::ShowProblem(const std::string& text) {
    ::MessageBoxA(GetHwnd(), text.c_str(), m_context.text(SystemInfoTitle).c_str(),
                  MB_OK | MB_ICONEXCLAMATION);
}

void CMoreAbout::OnPrint() {
    PRINTDLGA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = GetHwnd();
    choice.Flags = PD_ALLPAGES | PD_NOSELECTION | PD_NOPAGENUMS | PD_HIDEPRINTTOFILE |
                   PD_USEDEVMODECOPIESANDCOLLATE | PD_RETURNDC;
    // The common dialogs are loaded when printing is asked for: linked in, they would make every load
    // of the module pull the printing libraries in under the loader lock.
    static HMODULE dialogs = nullptr;
    if (!dialogs)
        dialogs = ::LoadLibraryA("comdlg32.dll");
    using PrintDlgFn = BOOL(WINAPI*)(LPPRINTDLGA);
    auto printDialog =
        dialogs
            ? reinterpret_cast<PrintDlgFn>(reinterpret_cast<void*>(::GetProcAddress(dialogs, "PrintDlgA")))
            : nullptr;
    if (!printDialog || !printDialog(&choice))
        return;
    if (choice.hDevMode)
        ::GlobalFree(choice.hDevMode);
    if (choice.hDevNames)
        ::GlobalFree(choice.hDevNames);
    if (!choice.hDC)
        return;
    about::PrinterDcTarget printer(choice.hDC);
    const about::PrintResult result = about::PrintText(printer, m_logText);
    ::DeleteDC(choice.hDC);
    if (result != about::PrintResult::Printed)
        ShowProblem(about::kPrintAbandoned);
}

void CMoreAbout::OnSendTo() {
    const about::MailOutcome outcome =
        about::SendFileByMail(GetHwnd(), m_context.text(MailSubject), m_context.text(MailNote), m_logPath);
    if (!outcome.available)
        ShowProblem(about::kNoMailSystem);
    else if (outcome.code != 0)
        ShowProblem(about::MailFailureText(outcome.code));
}
