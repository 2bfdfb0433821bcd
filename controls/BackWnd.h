// CBackWnd: the full-screen backdrop behind the panel (bitmap 283 stretched over the screen).
#pragma once

#include "platform/Handle.h"
#include "platform/Window.h"

inline constexpr UINT kBackdropBitmap = 283;

class CBackWnd : public platform::Window {
public:
    // Loads bitmap 283 and creates the visible backdrop window, owned by parent.
    explicit CBackWnd(HWND parent);
    ~CBackWnd() override;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    platform::UniqueBitmap m_background;
};
