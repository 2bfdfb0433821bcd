// CPage1, the program page (template 159): TMJ and its four-image variant, the partial-panoramic
// segments in any combination, sinus. Each key only sends its program to the unit; the panel's recap
// lights the keys from what the unit then reports.
#pragma once

#include "selection/PageSupport.h"
#include "selection/Pages.h"

class CPage1 : public CSelectionPage {
public:
    explicit CPage1(CDesignDialog* panel) : CSelectionPage(kPageProgram, panel) {}

    // The one-shot timer that names the final segment combination; 0 while none runs.
    UINT_PTR segmentTimer = 0;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id) override;

private:
    bool Lit(int id) const;
    void OnSegment();
    void OnFourImages();
    bool OnSetCursor(HWND over);

    selection::PageControls m_controls;
};
