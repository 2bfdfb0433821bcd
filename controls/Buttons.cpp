// Pressed-look keys and auto-repeat (see Buttons.h).
#include "controls/Buttons.h"

namespace controls {

void CJoliBouton::SetBitmaps(uint16_t releasedImage, uint16_t releasedMask, uint16_t pressedImage,
                             uint16_t pressedMask) {
    m_released = LoadSkinBitmap(releasedImage);
    m_releasedMask = LoadSkinBitmap(releasedMask);
    m_pressed = LoadSkinBitmap(pressedImage);
    m_pressedMask = LoadSkinBitmap(pressedMask);
    ApplyBitmaps(m_released.Get(), m_releasedMask.Get());
}

void CJoliBouton::Draw(const DRAWITEMSTRUCT& item) {
    if (IsPressed(item))
        DrawMasked(item.hDC, item.rcItem, m_pressed.Get(), m_pressedMask.Get());
    else
        DrawMasked(item.hDC, item.rcItem, m_released.Get(), m_releasedMask.Get());
}

void CAutoClickButton::NotifyClick() {
    HWND wnd = GetHwnd();
    const int id = ::GetDlgCtrlID(wnd);
    ::SendMessageA(::GetParent(wnd), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(wnd));
}

void CAutoClickButton::StopRepeat() {
    if (m_repeating && GetHwnd())
        ::KillTimer(GetHwnd(), static_cast<UINT_PTR>(m_repeatTimerId));
    m_repeating = false;
}

LRESULT CAutoClickButton::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        const LRESULT result = FinalWindowProc(msg, wParam, lParam);
        if (GetHwnd() && ::SetTimer(GetHwnd(), static_cast<UINT_PTR>(m_repeatTimerId),
                                    static_cast<UINT>(m_repeatPeriodMs), nullptr))
            m_repeating = true;
        return result;
    }
    case WM_TIMER:
        if (wParam != static_cast<WPARAM>(m_repeatTimerId))
            break;
        // A key that lost its press without a release (capture taken, window disabled) must not
        // go on stepping the unit; one dragged off the key pauses until the pointer comes back.
        if (!m_repeating || ::GetCapture() != GetHwnd()) {
            StopRepeat();
            return 0;
        }
        if (::SendMessageA(GetHwnd(), BM_GETSTATE, 0, 0) & BST_PUSHED)
            NotifyClick();
        return 0;
    case WM_LBUTTONUP:
        StopRepeat();
        break;
    case WM_LBUTTONDBLCLK:
        NotifyClick();
        break;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
    case WM_ENABLE:
    case WM_DESTROY:
        StopRepeat();
        break;
    default:
        break;
    }
    return platform::Window::WndProc(msg, wParam, lParam);
}

} // namespace controls
