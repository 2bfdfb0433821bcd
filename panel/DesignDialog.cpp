// The panel's start-up, pages and close requests.
#include "panel/DesignDialog.h"

#include "host/Lumen70App.h"
#include "controls/RegionFromMask.h"
#include "controls/SkinnedControl.h"
#include "platform/Module.h"
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
    m_background.Reset(static_cast<HBITMAP>(
        ::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(kPanelBackground), IMAGE_BITMAP, 0, 0, 0)));
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
    case WM_ERASEBKGND:
        if (!m_background)
            return FALSE;
        {
            // The skin is the panel's whole surface, copied 1:1.
            HDC dc = reinterpret_cast<HDC>(wParam);
            platform::UniqueMemoryDc memory(::CreateCompatibleDC(dc));
            platform::SelectObjectScope select(memory.Get(), m_background.Get());
            ::BitBlt(dc, 0, 0, kPanelWidth, kPanelHeight, memory.Get(), 0, 0, SRCCOPY);
        }
        SetMessageResult(1);
        return TRUE;
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

bool CDesignDialogV1::LayoutPanel() { return LayoutDesign(panel::Design::V1); }
bool CDesignDialogV2::LayoutPanel() { return LayoutDesign(panel::Design::V2); }
bool CDesignDialogV3::LayoutPanel() { return LayoutDesign(panel::Design::V3); }
