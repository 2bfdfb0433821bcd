// Keys whose look follows the platform's pressed state, and the auto-repeating key of the
// parameter and angle steps.
#pragma once

#include "controls/SkinnedControl.h"

#include <cstdint>

namespace controls {

class CJoliBouton : public CSkinnedControl {
public:
    // Size from the released image, shape from the released mask.
    void SetBitmaps(uint16_t releasedImage, uint16_t releasedMask, uint16_t pressedImage, uint16_t pressedMask);

protected:
    void Draw(const DRAWITEMSTRUCT& item) override;

private:
    platform::UniqueBitmap m_released, m_releasedMask, m_pressed, m_pressedMask;
};

// Held down, it clicks its parent every repeat period, then clicks once more at release.
class CAutoClickButton : public CJoliBouton {
public:
    static constexpr UINT kRepeatPeriodMs = 200;
    static constexpr UINT_PTR kRepeatTimerId = 100;

    bool IsRepeating() const noexcept { return m_repeating; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void NotifyClick();
    void StopRepeat();

    int32_t m_repeatPeriodMs = kRepeatPeriodMs;
    int32_t m_repeatTimerId = kRepeatTimerId;
    bool m_repeating = false;
};

} // namespace controls
