// Text displays (see Displays.h).
#include "controls/Displays.h"

#include <utility>
#include <vector>

namespace controls {

void CJoliAfficheur::SetText(const std::string& text) {
    if (text == m_text)
        return;
    m_text = text;
    RepaintErasing();
}

void CJoliAfficheur::SetCentred(bool centred) {
    if (static_cast<uint8_t>(centred) == m_centred)
        return;
    m_centred = centred;
    RepaintErasing();
}

void CJoliAfficheur::Draw(const DRAWITEMSTRUCT& item) {
    const bool first = m_backgroundPending;
    RestoreBackground(item.hDC, item.rcItem);
    if (first && GetHwnd())
        ::SetFocus(::GetParent(GetHwnd())); // the display is no keyboard stop
    if (m_text.empty())
        return;
    const int saved = ::SaveDC(item.hDC);
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, RGB(0, 0, 0));
    RECT client{};
    ::GetClientRect(GetHwnd(), &client);
    if (GetControlFont() || m_centred) {
        if (GetControlFont())
            ::SelectObject(item.hDC, GetControlFont());
        ::DrawTextA(item.hDC, m_text.c_str(), static_cast<int>(m_text.size()), &client, DT_CENTER | DT_TOP);
    } else {
        ::TextOutA(item.hDC, client.left, client.top, m_text.c_str(), static_cast<int>(m_text.size()));
    }
    ::RestoreDC(item.hDC, saved);
}

void CSpecialDisplay::SetBitmaps(uint16_t offImage, uint16_t onImage, uint16_t mask) {
    m_offImage = LoadSkinBitmap(offImage);
    m_onImage = LoadSkinBitmap(onImage);
    m_mask = LoadSkinBitmap(mask);
    ApplyBitmaps(m_mask.Get(), m_mask.Get());
}

void CSpecialDisplay::SetState(bool on) {
    if (static_cast<uint8_t>(on) == m_on)
        return;
    m_on = on;
    RepaintErasing();
}

void CSpecialDisplay::SetText(const std::string& text) {
    if (text == m_text)
        return;
    m_text = text;
    RepaintErasing();
}

void CSpecialDisplay::Draw(const DRAWITEMSTRUCT& item) {
    DrawMasked(item.hDC, item.rcItem, m_on ? m_onImage.Get() : m_offImage.Get(), m_mask.Get());
    if (!m_on)
        DrawCentredText(item.hDC, item.rcItem, m_text, GetControlFont());
}

void CTextDisplay::SetBitmaps(uint16_t image, uint16_t mask) {
    m_image = LoadSkinBitmap(image);
    m_mask = LoadSkinBitmap(mask);
    ApplyBitmaps(m_image.Get(), m_mask.Get());
}

void CTextDisplay::SetText(const std::string& text) {
    if (text == m_text)
        return;
    m_text = text;
    RepaintErasing();
}

void CTextDisplay::Draw(const DRAWITEMSTRUCT& item) {
    DrawMasked(item.hDC, item.rcItem, m_image.Get(), m_mask.Get());
    DrawCentredText(item.hDC, item.rcItem, m_text, GetControlFont());
}

void CSpaceDisplay::SetText(const std::string& text) {
    HWND wnd = GetHwnd();
    if (!wnd)
        return;
    // The whole current text is compared, so that a change beyond any length is still shown.
    const int length = ::GetWindowTextLengthA(wnd);
    std::vector<char> current(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(wnd, current.data(), length + 1);
    if (text == current.data())
        return;
    // Hidden around the change so that the parent repaints the skin under the old text.
    ::ShowWindow(wnd, SW_HIDE);
    ::SetWindowTextA(wnd, text.c_str());
    ::ShowWindow(wnd, SW_SHOW);
}

void CSpaceDisplay::SetTextColour(COLORREF colour) {
    m_colour = colour;
    if (GetHwnd())
        ::InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void CSpaceDisplay::SetFont(const char* face, int height) {
    platform::UniqueFont old = std::exchange(m_font, CreateDisplayFont(face, height));
    if (GetHwnd())
        ::SendMessageA(GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), TRUE);
}

bool CSpaceDisplay::OnMessageReflect(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
    if (msg != WM_CTLCOLORSTATIC)
        return false;
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_colour);
    result = reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH));
    return true;
}

} // namespace controls
