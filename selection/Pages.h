// The four selection pages hosted by the panel: program (159), patient (160), parameters (161) and
// cephalometric view (25001). The program, patient and cephalometric pages have files of their own.
#pragma once

#include "platform/Handle.h"
#include "selection/StackedDialog.h"

class CDesignDialog;

inline constexpr UINT kPageProgram = 159;
inline constexpr UINT kPagePatient = 160;
inline constexpr UINT kPageParameters = 161;
inline constexpr UINT kPageCephalometric = 25001;
inline constexpr UINT kPageBackgroundBitmap = 158;

class CSelectionPage : public TStackedPage {
public:
    CSelectionPage(UINT templateId, CDesignDialog* panel);
    CDesignDialog* Panel() const noexcept { return m_panel; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    CDesignDialog* m_panel;
    platform::UniqueBitmap m_background;
};
