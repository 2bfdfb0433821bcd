// Common ground of the owner-drawn skinned controls: taking over a template control, loading the
// skin's bitmaps, sizing and shaping the window, masked drawing in one transfer, saved background,
// fonts and centred text.
#pragma once

#include "platform/Handle.h"
#include "platform/Window.h"

#include <string>

namespace controls {

// Loads a bitmap of the module's resources; an id that cannot be loaded gives an empty handle.
platform::UniqueBitmap LoadSkinBitmap(UINT id);
// Bold Swiss font of the given face and height, as every display of the panel uses.
platform::UniqueFont CreateDisplayFont(const char* face, int height);

// Where the centring rule puts a text of n characters in a w x h area; a text wider or taller than
// the area starts at its edge rather than outside it.
POINT CentredTextOrigin(HDC dc, int w, int h, int n);

class CSkinnedControl : public platform::Window {
public:
    // Takes over the parent's child control `id` and switches it to owner drawing.
    bool Attach(UINT id, HWND parent);

protected:
    // Resizes the window to `sizeFrom` (keeping position and stacking) and shapes it with `shapeFrom`.
    void ApplyBitmaps(HBITMAP sizeFrom, HBITMAP shapeFrom);
    // The image, cut out by the mask, over what lies behind the control, reaching `dc` in one copy.
    static void DrawMasked(HDC dc, const RECT& area, HBITMAP image, HBITMAP mask);
    // First drawing: keep what lies behind; every drawing: put it back first.
    void RestoreBackground(HDC dc, const RECT& area);
    void SetControlFont(platform::UniqueFont font);
    HFONT GetControlFont() const noexcept { return m_font.Get(); }
    void RepaintWithoutErasing() { ::InvalidateRect(GetHwnd(), nullptr, FALSE); }
    void RepaintErasing() { ::InvalidateRect(GetHwnd(), nullptr, TRUE); }

    // WM_DRAWITEM reflected by the parent; WM_CTLCOLORBTN gets the hollow brush.
    bool OnMessageReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    virtual void Draw(const DRAWITEMSTRUCT& item) = 0;
    static bool IsPressed(const DRAWITEMSTRUCT& item) { return (item.itemState & ODS_SELECTED) != 0; }

    bool m_backgroundPending = true;

private:
    platform::UniqueBitmap m_savedBackground;
    platform::UniqueFont m_font;
};

// Draws `text` centred by the font's average character width and height (the displays' rule).
void DrawCentredText(HDC dc, const RECT& area, const std::string& text, HFONT font);

} // namespace controls
