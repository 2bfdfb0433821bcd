// Preview of the image being acquired: the bitmap centred in the area, cropped when larger, framed
// in black when smaller.
#pragma once

#include "platform/Window.h"

namespace controls {

class CStaticPreview : public platform::Window {
public:
    // Attached without any change of style.
    bool Attach(UINT id, HWND parent) { return AttachDlgItem(parent, static_cast<int>(id)); }
    // Shows `bitmap` (not owned; may be null) and hands back the one shown before.
    HBITMAP SetPreview(HBITMAP bitmap);
    HBITMAP GetPreview() const noexcept { return m_bitmap; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc);
    HBITMAP m_bitmap = nullptr;
};

} // namespace controls
