// The panel's start-up, pages and close requests.
#include "panel/DesignDialog.h"

#include "host/Lumen70App.h"
#include "selection/Pages.h"

CDesignDialog::CDesignDialog(HWND parent) : TStackedDialog(kPagePlaceholder, kPanelTemplate, parent) {}

TStackedPage* CDesignDialog::CreatePage(UINT id) {
    switch (id) {
    case kPageProgram:
        return new CPage1(this);
    case kPagePatient:
        return new CPage2(this);
    case kPageParameters:
        return new CPage3(this);
    case kPageCephalometric:
        return new CPage4(this);
    default:
        return nullptr;
    }
}

BOOL CDesignDialog::OnInitDialog() {
    TStackedDialog::OnInitDialog();
    ::SetWindowPos(GetHwnd(), nullptr, 0, 0, kPanelWidth, kPanelHeight, SWP_NOMOVE | SWP_NOZORDER);
    if (!LayoutPanel()) {
        EndDialog(0);
        return TRUE;
    }
    const bool panoramic = theApp().mode != 0;
    programPageId = panoramic ? kPageProgram : kPageCephalometric;
    for (UINT id : {kPageProgram, kPagePatient, kPageParameters, kPageCephalometric})
        AddPage(id, 0, 0, 0);
    SetPage(static_cast<UINT>(programPageId));
    return TRUE;
}

void CDesignDialog::RequestClose() {
    if (cycleFlag)
        return;
    EndDialog(IDCANCEL);
}

INT_PTR CDesignDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kMsgPageCancel:
        RequestClose();
        return TRUE;
    case kMsgHostEndAcquisition:
    case kMsgHostEndAcquisition2:
        EndDialog(1);
        return TRUE;
    default:
        return TStackedDialog::DialogProc(msg, wParam, lParam);
    }
}

// Each design places its controls on the skin; until the designs are laid out they only centre
// the panel on the screen.
namespace {
bool CentreOnScreen(HWND wnd) {
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kPanelWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kPanelHeight) / 2;
    return ::SetWindowPos(wnd, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER) != FALSE;
}
} // namespace

bool CDesignDialogV1::LayoutPanel() { return CentreOnScreen(GetHwnd()); }
bool CDesignDialogV2::LayoutPanel() { return CentreOnScreen(GetHwnd()); }
bool CDesignDialogV3::LayoutPanel() { return CentreOnScreen(GetHwnd()); }
