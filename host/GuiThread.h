// StartDialog's work: the start handshake with the GUI thread that runs the panel.
#pragma once

#include "host/Lumen70App.h"

#include <cstdint>

namespace host {

inline constexpr DWORD kStartWaitMs = 10000;

int StartDialog(uint32_t hostValue, uint32_t* windowSlot, HostNotifyFunction notify, uint8_t mode,
                const uint32_t* userText);

// The panel's window, when a panel exists (the GUI thread's main window).
HWND PanelWindow();

} // namespace host
