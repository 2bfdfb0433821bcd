// Backdrop window (see BackWnd.h).
#include "controls/BackWnd.h"

#include "controls/SkinnedControl.h"

namespace controls {

CBackWnd::CBackWnd(HWND parent) : m_bitmap(LoadSkinBitmap(kBitmapId)) {
    if (!RegisterClassOnce(kClassName, 0, nullptr, nullptr))
        return;
    HWND wnd = CreateEx(0, kClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, ::GetSystemMetrics(SM_CXSCREEN) + 1,
                        ::GetSystemMetrics(SM_CYSCREEN) + 1, parent, nullptr);
    // The class carries no cursor of its own (the layer registers one by default).
    if (wnd)
        ::SetClassLongPtrA(wnd, GCLP_HCURSOR, 0);
}

LRESULT CBackWnd::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT client{};
        ::GetClientRect(GetHwnd(), &client);
        BITMAP info{};
        if (m_bitmap && ::GetObjectA(m_bitmap.Get(), sizeof info, &info)) {
            platform::UniqueMemoryDc source(::CreateCompatibleDC(dc));
            platform::SelectObjectScope select(source.Get(), m_bitmap.Get());
            ::SetStretchBltMode(dc, HALFTONE);
            ::StretchBlt(dc, 0, 0, client.right, client.bottom, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                         SRCCOPY);
        } else {
            ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        }
        return 1;
    }
    return platform::Window::WndProc(msg, wParam, lParam);
}

} // namespace controls
