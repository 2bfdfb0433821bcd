// Preview picture (see StaticPreview.h).
#include "controls/StaticPreview.h"

#include "platform/Handle.h"

#include <utility>

namespace controls {

HBITMAP CStaticPreview::SetPreview(HBITMAP bitmap) {
    HBITMAP previous = std::exchange(m_bitmap, bitmap);
    if (GetHwnd())
        ::InvalidateRect(GetHwnd(), nullptr, FALSE);
    return previous;
}

void CStaticPreview::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(GetHwnd(), &client);
    const int cw = client.right, ch = client.bottom;
    HBRUSH black = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    BITMAP info{};
    if (!m_bitmap || !::GetObjectA(m_bitmap, sizeof info, &info)) {
        ::FillRect(dc, &client, black);
        return;
    }
    // Offsets of the area in the picture; negative when the picture is the smaller one.
    const int dx = (info.bmWidth - cw) / 2;
    const int dy = (info.bmHeight - ch) / 2;
    // With an odd difference the far margin is one pixel wider, so no column is left unpainted.
    if (dx < 0) {
        const RECT left{0, 0, -dx, ch}, right{-dx + info.bmWidth, 0, cw, ch};
        ::FillRect(dc, &left, black);
        ::FillRect(dc, &right, black);
    }
    if (dy < 0) {
        const RECT top{0, 0, cw, -dy}, bottom{0, -dy + info.bmHeight, cw, ch};
        ::FillRect(dc, &top, black);
        ::FillRect(dc, &bottom, black);
    }
    platform::UniqueMemoryDc source(::CreateCompatibleDC(dc));
    if (!source)
        return;
    platform::SelectObjectScope select(source.Get(), m_bitmap);
    // Only the picture's own pixels are copied; the margins stay black.
    const int x0 = dx < 0 ? -dx : 0, y0 = dy < 0 ? -dy : 0;
    const int w = dx < 0 ? info.bmWidth : cw, h = dy < 0 ? info.bmHeight : ch;
    ::BitBlt(dc, x0, y0, w, h, source.Get(), dx < 0 ? 0 : dx, dy < 0 ? 0 : dy, SRCCOPY);
}

LRESULT CStaticPreview::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the painting covers the whole area
    case WM_PAINT: {
        platform::PaintDc paint(GetHwnd());
        Paint(paint.Get());
        return 0;
    }
    default:
        return platform::Window::WndProc(msg, wParam, lParam);
    }
}

} // namespace controls
