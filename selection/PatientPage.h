// CPage2, the patient page (template 160): adult or child, slim, normal or large build. Each key only
// sends its choice to the unit; the panel lights the keys from the unit's selection.
#pragma once

#include "selection/PageSupport.h"
#include "selection/Pages.h"

class CPage2 : public CSelectionPage {
public:
    explicit CPage2(CDesignDialog* panel) : CSelectionPage(kPagePatient, panel) {}

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    selection::PageControls m_controls;
};
