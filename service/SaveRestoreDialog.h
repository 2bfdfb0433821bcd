// Save and restore of the unit's data blocks through the restore file.
#pragma once

#include "service/ServiceContext.h"

class CSrDialog : public service::ServiceDialog {
public:
    CSrDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void OnSave();
    void OnRestore();
};
