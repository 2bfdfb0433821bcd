// The pages' shared mechanics: placement on the skin, the key command sequence, cursor and tooltips.
#include "selection/PageSupport.h"

#include "controls/SkinnedControl.h"
#include "host/LinkAccess.h"
#include "host/Lumen70App.h"
#include "link/Jbus.h"
#include "panel/DesignDialog.h"
#include "platform/Module.h"

#include <commctrl.h>

#include <string>

namespace selection {
namespace {
constexpr UINT kPanelSkin = 129;
constexpr double kDefaultSkinWidth = 1024.0, kDefaultSkinHeight = 768.0;
} // namespace

void PlaceOnSkin(HWND page, int id, double fx, double fy) {
    static const SIZE skin = [] {
        SIZE size{static_cast<LONG>(kDefaultSkinWidth), static_cast<LONG>(kDefaultSkinHeight)};
        platform::UniqueBitmap bitmap = controls::LoadSkinBitmap(kPanelSkin);
        BITMAP info{};
        if (bitmap && ::GetObjectA(bitmap.Get(), sizeof info, &info)) {
            size.cx = info.bmWidth;
            size.cy = info.bmHeight;
        }
        return size;
    }();
    ::SetWindowPos(::GetDlgItem(page, id), nullptr, static_cast<int>(skin.cx * fx), static_cast<int>(skin.cy * fy),
                   0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool SendPageCommand(CDesignDialog* panel, uint16_t word, UINT prompt) {
    host::LinkSession link;
    if (!panel || !link.IsOpen() || !link.Get()->WriteCommand(word))
        return false;
    // Still under the lock, so the host never copies a record between the command and its recap.
    panel->RefreshSelection();
    if (prompt != 0)
        panel->PlayVoicePrompt(prompt);
    return true;
}

bool SetPageCursor(HWND page, HWND over, std::span<const int> keys) {
    CLumen70App& app = theApp();
    const bool busy = app.unitBusy != 0;
    bool key = false;
    if (over && ::GetParent(over) == page)
        for (int id : keys)
            key = key || ::GetDlgCtrlID(over) == id;
    HCURSOR cursor = nullptr;
    if (key)
        cursor = busy ? app.waitCursor.Get() : app.handCursor.Get();
    else if (busy)
        cursor = app.waitCursor.Get();
    if (!cursor)
        return false;
    ::SetCursor(cursor);
    return true;
}

HWND CreateBalloonTooltip(HWND owner, std::span<const std::pair<int, UINT>> tips, DWORD extraStyle) {
    HWND tip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                 WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | extraStyle, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                 platform::ResourceModule(), nullptr);
    if (!tip)
        return nullptr;
    for (const auto& [id, textId] : tips) {
        HWND control = ::GetDlgItem(owner, id);
        if (!control)
            continue;
        std::string text = platform::LoadText(textId);
        TTTOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        // The tooltip watches each control's mouse itself, so no message needs relaying to it.
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = owner;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = text.data();
        ::SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ::SendMessageA(tip, TTM_ACTIVATE, TRUE, 0);
    return tip;
}

} // namespace selection
