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

// The frame that every design shares: the panel takes its skin's size, is centred on the screen,
// gets its page area and the outline of its mask. The designs' controls come on top of this.
namespace {
constexpr UINT kPanelMask = 284;
constexpr UINT kPageBackground = 158;
constexpr double kPageAreaFx = 0.5927, kPageAreaFy = 0.3502;
} // namespace

bool CDesignDialog::LayoutFrame() {
    HWND wnd = GetHwnd();
    BITMAP skin{};
    skin.bmWidth = kPanelWidth;
    skin.bmHeight = kPanelHeight;
    if (m_background)
        ::GetObjectA(m_background.Get(), sizeof skin, &skin);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - skin.bmWidth) / 2 + 1;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - skin.bmHeight) / 2;
    ::SetWindowPos(wnd, nullptr, x, y, skin.bmWidth, skin.bmHeight, SWP_NOZORDER);

    BITMAP page{};
    page.bmWidth = 332;
    page.bmHeight = 293;
    platform::UniqueBitmap pageBitmap(controls::LoadSkinBitmap(kPageBackground));
    if (pageBitmap)
        ::GetObjectA(pageBitmap.Get(), sizeof page, &page);
    ::SetWindowPos(GetItem(kPagePlaceholder), nullptr, static_cast<int>(1 + 1024 * kPageAreaFx),
                   static_cast<int>(1 + 768 * kPageAreaFy), page.bmWidth, page.bmHeight, SWP_NOZORDER);

    // The close key of the skin.
    if (m_closeKey.Attach(IDCANCEL, wnd)) {
        ::SetWindowPos(m_closeKey.GetHwnd(), nullptr, static_cast<int>(1024 * 0.8697),
                       static_cast<int>(768 * 0.8541), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        m_closeKey.SetBitmaps(152, 151, 146, 151);
    }

    platform::UniqueBitmap mask(controls::LoadSkinBitmap(kPanelMask));
    if (mask)
        controls::ApplyMaskRegion(wnd, mask.Get());
    return true;
}

bool CDesignDialogV1::LayoutPanel() { return LayoutFrame(); }
bool CDesignDialogV2::LayoutPanel() { return LayoutFrame(); }
bool CDesignDialogV3::LayoutPanel() { return LayoutFrame(); }
