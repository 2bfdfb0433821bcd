// The panel's layout: where each design puts the skin's keys, lamps, captions and displays, which it
// shows, the logo and recap pictures, the preview and page areas, the outline and the tooltips.
#pragma once

#include "platform/Window.h"

#include <memory>
#include <vector>

namespace panel {

// Design 1: panoramic on a register-map 1 unit; design 2: panoramic on map 2; design 3: cephalometric.
enum class Design { V1 = 1, V2 = 2, V3 = 3 };

// The control objects the layout attaches to the template's controls; owned by the panel and
// released after its window is gone. Other code reaches a control by id through its window.
struct PanelControls {
    std::vector<std::unique_ptr<platform::Window>> objects;
    HWND tooltip = nullptr; // owned by the panel's window, destroyed with it
};

// Size, position and outline of the panel, every control of the design in place, then the tooltips.
// Returns true: a skin the module cannot load leaves the panel plain but usable.
bool LayoutPanel(HWND panel, HBITMAP background, Design design, PanelControls& controls);

// Replaces the tooltip text of a control of the panel (the dose display's follows the dose kind).
void SetControlTooltip(HWND panel, int controlId, UINT textId);

} // namespace panel
