// CAboutDialog: the versions of the module, its bus and language libraries, and of the unit's firmware.
#pragma once

#include "platform/Handle.h"
#include "service/ServiceContext.h"

class CAboutDialog : public service::ServiceDialog {
public:
    CAboutDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;

private:
    void ShowSoftware();
    void ShowFirmware();

    platform::UniqueFont m_bold;
};
