// The backdrop window.
#include "controls/BackWnd.h"

#include "platform/Module.h"

namespace {
constexpr char kBackdropClass[] = "Lumen70Backdrop";
}

CBackWnd::CBackWnd(HWND parent) {
    m_background.Reset(static_cast<HBITMAP>(
        ::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(kBackdropBitmap), IMAGE_BITMAP, 0, 0, 0)));
    // No cursor and no background brush: the bitmap paints everything.
    RegisterClassOnce(kBackdropClass, 0, nullptr, nullptr);
    // One pixel more than the screen in each direction, so no desktop edge shows.
    CreateEx(0, kBackdropClass, "", WS_POPUP | WS_VISIBLE, 0, 0, ::GetSystemMetrics(SM_CXSCREEN) + 1,
             ::GetSystemMetrics(SM_CYSCREEN) + 1, parent, nullptr);
}

CBackWnd::~CBackWnd() { Destroy(); }

LRESULT CBackWnd::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT client{};
        ::GetClientRect(GetHwnd(), &client);
        if (m_background) {
            platform::UniqueMemoryDc memory(::CreateCompatibleDC(dc));
            BITMAP info{};
            ::GetObjectA(m_background.Get(), sizeof info, &info);
            platform::SelectObjectScope select(memory.Get(), m_background.Get());
            ::SetStretchBltMode(dc, HALFTONE);
            ::StretchBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, info.bmWidth, info.bmHeight,
                         SRCCOPY);
        } else {
            ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        }
        return 1;
    }
    return Window::WndProc(msg, wParam, lParam);
}
