// The selection pages' common base.
#include "selection/Pages.h"

#include "panel/DesignDialog.h"

CSelectionPage::CSelectionPage(UINT templateId, CDesignDialog* panel)
    : TStackedPage(templateId, panel ? panel->GetHwnd() : nullptr), m_panel(panel) {}
