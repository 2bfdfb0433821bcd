// Text displays: the panel's value and message displays over the skin, the angle and parameter
// displays with a picture behind the text, and transparent captions.
#pragma once

#include "controls/SkinnedControl.h"

#include <cstdint>
#include <string>

namespace controls {

// Text straight on the saved background; centred lines when it has a font or is set to centre.
class CJoliAfficheur : public CSkinnedControl {
public:
    void SetText(const std::string& text);
    const std::string& GetText() const noexcept { return m_text; }
    void SetCentred(bool centred);
    void SetFont(const char* face, int height) { SetControlFont(CreateDisplayFont(face, height)); }

protected:
    void Draw(const DRAWITEMSTRUCT& item) override;

private:
    std::string m_text;
    uint8_t m_centred = 0;
};

// A picture with a text that shows only while the display is off (the oblique angle).
class CSpecialDisplay : public CSkinnedControl {
public:
    // Size and shape from the one mask.
    void SetBitmaps(uint16_t offImage, uint16_t onImage, uint16_t mask);
    void SetState(bool on);
    bool GetState() const noexcept { return m_on != 0; }
    void SetText(const std::string& text);
    const std::string& GetText() const noexcept { return m_text; }
    void SetFont(const char* face, int height) { SetControlFont(CreateDisplayFont(face, height)); }

protected:
    void Draw(const DRAWITEMSTRUCT& item) override;

private:
    platform::UniqueBitmap m_offImage, m_onImage, m_mask;
    uint8_t m_on = 0;
    std::string m_text;
};

// A picture with a centred text (the parameter values).
class CTextDisplay : public CSkinnedControl {
public:
    void SetBitmaps(uint16_t image, uint16_t mask);
    void SetText(const std::string& text);
    const std::string& GetText() const noexcept { return m_text; }
    void SetFont(const char* face, int height) { SetControlFont(CreateDisplayFont(face, height)); }

protected:
    void Draw(const DRAWITEMSTRUCT& item) override;

private:
    platform::UniqueBitmap m_image, m_mask;
    std::string m_text;
};

// A static caption written straight on the skin in its own colour.
class CSpaceDisplay : public platform::Window {
public:
    // Attached without any change of style.
    bool Attach(UINT id, HWND parent) { return AttachDlgItem(parent, static_cast<int>(id)); }
    void SetText(const std::string& text);
    void SetTextColour(COLORREF colour);
    COLORREF GetTextColour() const noexcept { return m_colour; }
    void SetFont(const char* face, int height);

protected:
    bool OnMessageReflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    platform::UniqueFont m_font;
    COLORREF m_colour = ::GetSysColor(COLOR_BTNTEXT);
};

} // namespace controls
