// What the program, patient and cephalometric pages share: their skinned keys placed on the skin, the
// command sequence of a key, the key cursor and the balloon tooltips.
#pragma once

#include "platform/Window.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <utility>
#include <vector>

class CDesignDialog;

namespace selection {

// The control objects a page attaches to its template's controls; released after the page's window.
class PageControls {
public:
    template <typename Control> Control* Attach(HWND page, int id) {
        auto object = std::make_unique<Control>();
        if (!object->Attach(static_cast<UINT>(id), page))
            return nullptr;
        Control* raw = object.get();
        m_objects.push_back(std::move(object));
        return raw;
    }

private:
    std::vector<std::unique_ptr<platform::Window>> m_objects;
};

// A control of a page by identifier, as the class it was attached as; null when absent.
template <typename Control> Control* PageControl(HWND page, int id) {
    return dynamic_cast<Control*>(platform::Window::FromHandle(::GetDlgItem(page, id)));
}

// Moves a page control to its place: fractions of the panel skin's width and height, in page
// coordinates (the size stays that of its pictures).
void PlaceOnSkin(HWND page, int id, double fx, double fy);

// A key's command: under the link lock, the word to the unit; once the unit took it, the panel and
// every page relit from the unit, then the key's prompt (0: none). False when the unit did not take
// it (the link records why) or there is no link.
bool SendPageCommand(CDesignDialog* panel, uint16_t word, UINT prompt);

// The cursor over a page: over its keys the hand, or the hourglass while the unit is busy; elsewhere
// the hourglass while busy, else the default. True when the page set the cursor.
bool SetPageCursor(HWND page, HWND over, std::span<const int> keys);
inline bool SetPageCursor(HWND page, HWND over, std::initializer_list<int> keys) {
    return SetPageCursor(page, over, std::span<const int>(keys.begin(), keys.size()));
}

// A balloon tooltip over a window's controls (id, language-library text); it watches their mouse
// itself. Destroyed with its owner. The panel's own shows even while the panel is inactive.
HWND CreateBalloonTooltip(HWND owner, std::span<const std::pair<int, UINT>> tips, DWORD extraStyle = 0);

} // namespace selection
