// The panel's service menu: the popup under the information button and the commands it sends.
#pragma once

#include <windows.h>

class CDesignDialog;

namespace panel {

// The user popup, or, while the unit grants technical access, the two technical branches in one
// popup; the commands come back to the panel as WM_COMMAND.
void OpenServiceMenu(CDesignDialog& panel, HWND button, HMENU userMenu, HMENU technicalMenu);

// Runs a service command, from whichever menu it came; false when the identifier is not one.
bool RunServiceCommand(CDesignDialog& panel, UINT command);

} // namespace panel
