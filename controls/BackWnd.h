// The full-screen backdrop shown behind the panel, one pixel beyond the screen on each side.
#pragma once

#include "platform/Handle.h"
#include "platform/Window.h"

namespace controls {

class CBackWnd : public platform::Window {
public:
    static constexpr UINT kBitmapId = 283;
    static constexpr char kClassName[] = "Lumen70BackWnd";

    explicit CBackWnd(HWND parent);

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    platform::UniqueBitmap m_bitmap;
};

} // namespace controls
