// CPage4, the cephalometric page (template 25001): the six views and the oblique angle. A view key
// only sends its program to the unit; the angle lives on the page, as the text of its display, and
// reaches the host through the recap when the unit reports the oblique view.
#pragma once

#include "selection/PageSupport.h"
#include "selection/Pages.h"

class CPage4 : public CSelectionPage {
public:
    explicit CPage4(CDesignDialog* panel) : CSelectionPage(kPageCephalometric, panel) {}

    // The angle the page shows, in degrees (0..360).
    int Angle() const;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void StepAngle(int step);

    selection::PageControls m_controls;
};
