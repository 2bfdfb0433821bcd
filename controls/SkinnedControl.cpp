// Skinned control base (see SkinnedControl.h).
#include "controls/SkinnedControl.h"

#include "controls/RegionFromMask.h"
#include "platform/Module.h"

#include <algorithm>
#include <utility>

namespace controls {

platform::UniqueBitmap LoadSkinBitmap(UINT id) {
    return platform::UniqueBitmap(static_cast<HBITMAP>(
        ::LoadImageA(platform::ResourceModule(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0)));
}

platform::UniqueFont CreateDisplayFont(const char* face, int height) {
    return platform::UniqueFont(::CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                              DEFAULT_PITCH | FF_SWISS, face));
}

POINT CentredTextOrigin(HDC dc, int w, int h, int n) {
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    const int x = (w - tm.tmAveCharWidth * n) / 2;
    const int y = (h - tm.tmHeight) / 2;
    return {std::max(x, 0), std::max(y, 0)};
}

void DrawCentredText(HDC dc, const RECT& area, const std::string& text, HFONT font) {
    if (text.empty())
        return;
    const int saved = ::SaveDC(dc);
    if (font)
        ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    const POINT at = CentredTextOrigin(dc, area.right - area.left, area.bottom - area.top,
                                       static_cast<int>(text.size()));
    ::TextOutA(dc, area.left + at.x, area.top + at.y, text.data(), static_cast<int>(text.size()));
    ::RestoreDC(dc, saved);
}

bool CSkinnedControl::Attach(UINT id, HWND parent) {
    if (!AttachDlgItem(parent, static_cast<int>(id)))
        return false;
    // Only the button type changes; window styles (child, visible, tab stop) stay as the template has them.
    const LONG_PTR style = ::GetWindowLongPtrA(GetHwnd(), GWL_STYLE);
    const WPARAM buttonStyle = static_cast<WPARAM>((style & 0xF0) | BS_OWNERDRAW);
    ::SendMessageA(GetHwnd(), BM_SETSTYLE, buttonStyle, TRUE);
    return true;
}

void CSkinnedControl::ApplyBitmaps(HBITMAP sizeFrom, HBITMAP shapeFrom) {
    BITMAP info{};
    if (sizeFrom && ::GetObjectA(sizeFrom, sizeof info, &info))
        ::SetWindowPos(GetHwnd(), nullptr, 0, 0, info.bmWidth, info.bmHeight,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyMaskRegion(GetHwnd(), shapeFrom);
}

void CSkinnedControl::DrawMasked(HDC dc, const RECT& area, HBITMAP image, HBITMAP mask) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (!image || !mask || w <= 0 || h <= 0)
        return;
    platform::UniqueMemoryDc bufferDc(::CreateCompatibleDC(dc));
    platform::UniqueBitmap buffer(::CreateCompatibleBitmap(dc, w, h));
    platform::UniqueMemoryDc imageDc(::CreateCompatibleDC(dc));
    platform::UniqueMemoryDc maskDc(::CreateCompatibleDC(dc));
    if (!bufferDc || !buffer || !imageDc || !maskDc)
        return;
    platform::SelectObjectScope selBuffer(bufferDc.Get(), buffer.Get());
    platform::SelectObjectScope selImage(imageDc.Get(), image);
    platform::SelectObjectScope selMask(maskDc.Get(), mask);
    // Monochrome to colour: mask bit 0 (the shape) becomes black, bit 1 white.
    ::SetTextColor(bufferDc.Get(), RGB(0, 0, 0));
    ::SetBkColor(bufferDc.Get(), RGB(255, 255, 255));
    ::SetTextColor(imageDc.Get(), RGB(0, 0, 0));
    ::SetBkColor(imageDc.Get(), RGB(255, 255, 255));

    ::BitBlt(bufferDc.Get(), 0, 0, w, h, dc, area.left, area.top, SRCCOPY);
    ::BitBlt(bufferDc.Get(), 0, 0, w, h, maskDc.Get(), 0, 0, SRCAND);
    ::BitBlt(maskDc.Get(), 0, 0, w, h, nullptr, 0, 0, DSTINVERT);
    ::BitBlt(imageDc.Get(), 0, 0, w, h, maskDc.Get(), 0, 0, SRCAND);
    ::BitBlt(maskDc.Get(), 0, 0, w, h, nullptr, 0, 0, DSTINVERT);
    ::BitBlt(bufferDc.Get(), 0, 0, w, h, imageDc.Get(), 0, 0, SRCPAINT);
    ::BitBlt(dc, area.left, area.top, w, h, bufferDc.Get(), 0, 0, SRCCOPY);
}

void CSkinnedControl::RestoreBackground(HDC dc, const RECT& area) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0)
        return;
    platform::UniqueMemoryDc saved(::CreateCompatibleDC(dc));
    if (!saved)
        return;
    if (m_backgroundPending) {
        m_savedBackground.Reset(::CreateCompatibleBitmap(dc, w, h));
        platform::SelectObjectScope sel(saved.Get(), m_savedBackground.Get());
        ::BitBlt(saved.Get(), 0, 0, w, h, dc, area.left, area.top, SRCCOPY);
        m_backgroundPending = false;
    }
    if (!m_savedBackground)
        return;
    platform::SelectObjectScope sel(saved.Get(), m_savedBackground.Get());
    ::BitBlt(dc, area.left, area.top, w, h, saved.Get(), 0, 0, SRCCOPY);
}

void CSkinnedControl::SetControlFont(platform::UniqueFont font) {
    // The window lets go of the old font before it is deleted.
    platform::UniqueFont old = std::exchange(m_font, std::move(font));
    if (GetHwnd())
        ::SendMessageA(GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), TRUE);
}

bool CSkinnedControl::OnMessageReflect(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) {
    if (msg == WM_DRAWITEM) {
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    }
    if (msg == WM_CTLCOLORBTN) {
        result = reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH));
        return true;
    }
    return false;
}

} // namespace controls
