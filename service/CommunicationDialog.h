// The communication settings dialog: the configured port and baud rate, and the unit's frame counts.
#pragma once

#include "service/ServiceContext.h"

class CNewCommunicationDialog : public service::ServiceDialog {
public:
    CNewCommunicationDialog(HWND parent, service::ServiceContext& context);

protected:
    BOOL OnInitDialog() override;

private:
    std::vector<int> m_baudValues; // parallel to the baud list's entries
};
