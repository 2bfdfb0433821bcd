// The unit's preferences: dose unit, stand rest position and the compensation kV table.
#pragma once

#include "link/BlockUpdate.h"
#include "service/ExtendedListCtrl.h"
#include "service/ServiceContext.h"

class CPreferenceDialog : public service::ServiceDialog {
public:
    CPreferenceDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void InsertRows();
    void ShowBlock();
    void ApplyCommand(uint16_t command);
    void OnSave();

    // The block as the unit last delivered it; written back only when that read succeeded.
    unitlink::UnitBlock<unitlink::PreferenceBlock> m_block;
    CExtendedListCtrl m_table;
};
