// The selection pages' common base.
#include "selection/Pages.h"

#include "panel/DesignDialog.h"
#include "platform/Module.h"

CSelectionPage::CSelectionPage(UINT templateId, CDesignDialog* panel)
    : TStackedPage(templateId, panel ? panel->GetHwnd() : nullptr), m_panel(panel) {}

INT_PTR CSelectionPage::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND && m_background) {
        // Every page stands on the page background of the skin.
        HDC dc = reinterpret_cast<HDC>(wParam);
        platform::UniqueMemoryDc memory(::CreateCompatibleDC(dc));
        platform::SelectObjectScope select(memory.Get(), m_background.Get());
        RECT client{};
        ::GetClientRect(GetHwnd(), &client);
        ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
        SetMessageResult(1);
        return TRUE;
    }
    return TStackedPage::DialogProc(msg, wParam, lParam);
}

BOOL CSelectionPage::OnInitDialog() {
    TStackedPage::OnInitDialog();
    m_background.Reset(static_cast<HBITMAP>(
        ::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(kPageBackgroundBitmap), IMAGE_BITMAP, 0, 0, 0)));
    if (m_background) {
        BITMAP info{};
        ::GetObjectA(m_background.Get(), sizeof info, &info);
        ::SetWindowPos(GetHwnd(), nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
    }
    return TRUE;
}
